#pragma once
#include <QListWidget>
#include <QString>

namespace tz::app::gui {

// The folder list: the current folder's parents (open folders, from the root down) and its
// subfolders (closed folders). Double-click or Enter opens an entry; highlighting does not.
class FolderList : public QListWidget {
    Q_OBJECT
  public:
    static constexpr int PathRole = Qt::UserRole + 1;
    static constexpr int LevelRole = Qt::UserRole + 2;

    explicit FolderList(QWidget* parent);
    // Rebuilds the list around `folder` (an absolute path); does not touch the working folder.
    void showFolder(const QString& folder);
    const QString& folder() const { return folder_; }

  signals:
    // The user opened the entry for this folder.
    void openRequested(const QString& folder);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void initViewItemOption(QStyleOptionViewItem* option) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QString folder_;
    void openItem(QListWidgetItem* item);
};

}  // namespace tz::app::gui
