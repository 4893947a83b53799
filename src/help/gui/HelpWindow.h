#pragma once
#include <QPointer>
#include <QRect>
#include <QTextBrowser>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "help/ChmArchive.h"

class QLineEdit;
class QListWidget;
class QSplitter;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QToolButton;

namespace tz::help::gui {

// Shows the pages of a compiled help file: resources (pages, style sheets, images) come from the
// archive; links inside the archive are followed, others go to the desktop.
class ChmBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    explicit ChmBrowser(QWidget* parent = nullptr);
    void setArchive(const ChmArchive* archive) { archive_ = archive; }
    // The archive path of the page shown ("/intro.htm"), empty when none.
    std::string currentPath() const;
    // Shows the page at an archive path, optionally with "#fragment".
    void showPath(const std::string& path, const std::string& fragment = {});
    QVariant loadResource(int type, const QUrl& name) override;

  signals:
    void pageShown(const QString& path);

  private:
    void followLink(const QUrl& url);
    const ChmArchive* archive_ = nullptr;
};

// Where a window of size `wanted` goes beside `tool` (frame rectangles) within `screen`: to its
// right, else to its left, when there is room; narrower (down to `minWidth`) on the side with more
// room; otherwise as far to that side as the screen allows, covering as little of the tool as it
// can. The top follows the tool's, kept on the screen.
QRect besideRect(const QRect& tool, const QRect& screen, const QSize& wanted, int minWidth);

// The help window: contents tree and keyword index beside the page. It opens beside the window
// that asked for help, Esc closes it, and closing it gives the focus back to that window.
class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kDefaultTitle = "Ayuda de transZanderXEL";

    explicit HelpWindow(QWidget* parent = nullptr);
    ~HelpWindow() override;

    // Opens the help file (again only when it is another file or has changed). False when it
    // is missing or not a readable compiled help file; the window is then left as it was.
    bool openFile(const std::filesystem::path& file);
    const ChmArchive* archive() const { return archive_.get(); }

    // The commands of the help backend; each shows and raises the window.
    void showContents();
    void showTopic(const std::string& topic);  // "/dir/page.htm#fragment"
    void showContext(std::uint32_t context);
    void showIndexKeyword(const std::string& keyword);
    // Closes the window and lets go of the help file.
    void closeAll();

    ChmBrowser* browser() const { return browser_; }
    QTreeWidget* contentsTree() const { return tree_; }
    QListWidget* indexList() const { return indexList_; }
    QLineEdit* indexFilter() const { return indexFilter_; }
    QTabWidget* tabs() const { return tabs_; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void fillContents();
    void fitContentsPane();
    void placeBeside(QWidget* tool);
    void fillIndex();
    void present();
    void selectTreeItemFor(const QString& path);
    void applyIndexFilter(const QString& text);
    void showIndexItem();

    std::unique_ptr<ChmArchive> archive_;
    std::filesystem::file_time_type openedTime_{};
    std::uintmax_t openedSize_ = 0;
    QTabWidget* tabs_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QLineEdit* indexFilter_ = nullptr;
    QListWidget* indexList_ = nullptr;
    ChmBrowser* browser_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    QSplitter* splitter_ = nullptr;
    bool syncingTree_ = false;
    QPointer<QWidget> askedFrom_;  // the window help was asked from, given the focus back
};

}  // namespace tz::help::gui
