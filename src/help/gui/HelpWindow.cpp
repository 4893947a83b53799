#include "help/gui/HelpWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <system_error>

#include "help/Sitemap.h"

namespace tz::help::gui {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFragmentRole = Qt::UserRole + 1;

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QUrl chmUrl(const std::string& path, const std::string& fragment) {
    QUrl url;
    url.setScheme(QStringLiteral("chm"));
    url.setPath(fromUtf8(path), QUrl::DecodedMode);
    if (!fragment.empty()) url.setFragment(fromUtf8(fragment), QUrl::DecodedMode);
    return url;
}

// The archive link a URL of the browser stands for, resolved against the page shown.
ArchiveLink linkFor(const QUrl& url, const std::string& base) {
    if (url.scheme() == QLatin1String("chm")) {
        ArchiveLink link = resolveArchiveLink(url.path(QUrl::FullyDecoded).toStdString());
        link.fragment = url.fragment(QUrl::FullyDecoded).toStdString();
        return link;
    }
    return resolveArchiveLink(url.toString().toStdString(), base.empty() ? "/" : base);
}

QString notFoundPage(const std::string& path) {
    return QStringLiteral(
               "<html><body><h3>No se encuentra la p\u00e1gina</h3>"
               "<p>El archivo de ayuda no contiene <tt>%1</tt>.</p></body></html>")
        .arg(fromUtf8(path).toHtmlEscaped());
}

}  // namespace

ChmBrowser::ChmBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::followLink);
    // source() is not yet the new page while sourceChanged is emitted: use its argument.
    connect(this, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
        if (url.scheme() == QLatin1String("chm")) emit pageShown(url.path(QUrl::FullyDecoded));
    });
}

std::string ChmBrowser::currentPath() const {
    const QUrl url = source();
    if (url.scheme() != QLatin1String("chm")) return {};
    return url.path(QUrl::FullyDecoded).toStdString();
}

void ChmBrowser::showPath(const std::string& path, const std::string& fragment) {
    setSource(chmUrl(path, fragment), QTextDocument::HtmlResource);
}

void ChmBrowser::followLink(const QUrl& url) {
    const ArchiveLink link = linkFor(url, currentPath());
    if (link.external) {
        QDesktopServices::openUrl(url);
        return;
    }
    showPath(link.path, link.fragment);
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name) {
    const ArchiveLink link = linkFor(name, currentPath());
    if (link.external || !archive_) return {};
    const std::optional<std::string> data = archive_->read(link.path);
    switch (type) {
        case QTextDocument::HtmlResource:
            return data ? fromUtf8(helpTextToUtf8(*data)) : notFoundPage(link.path);
        case QTextDocument::StyleSheetResource:
            return data ? QVariant(fromUtf8(helpTextToUtf8(*data))) : QVariant();
        default:
            return data ? QVariant(QByteArray(data->data(), qsizetype(data->size()))) : QVariant();
    }
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QString::fromUtf8(kDefaultTitle));
    resize(860, 580);

    back_ = new QToolButton;
    back_->setText(QStringLiteral("Atr\u00e1s"));
    back_->setEnabled(false);
    forward_ = new QToolButton;
    forward_->setText(QStringLiteral("Adelante"));
    forward_->setEnabled(false);
    auto* home = new QToolButton;
    home->setText(QStringLiteral("Inicio"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back_);
    buttons->addWidget(forward_);
    buttons->addWidget(home);
    buttons->addStretch();

    tree_ = new QTreeWidget;
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    indexFilter_ = new QLineEdit;
    indexFilter_->setPlaceholderText(QStringLiteral("Palabra clave"));
    indexList_ = new QListWidget;
    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    indexLayout->addWidget(indexFilter_);
    indexLayout->addWidget(indexList_);
    tabs_ = new QTabWidget;
    tabs_->addTab(tree_, QStringLiteral("Contenido"));
    tabs_->addTab(indexPage, QStringLiteral("\u00cdndice"));

    browser_ = new ChmBrowser;
    auto* splitter = new QSplitter;
    splitter_ = splitter;
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 610});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(home, &QToolButton::clicked, this, [this] {
        if (archive_) showTopic(archive_->defaultTopic());
    });
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
    connect(browser_, &ChmBrowser::pageShown, this, &HelpWindow::selectTreeItemFor);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (syncingTree_ || !item) return;
        const QString path = item->data(0, kPathRole).toString();
        if (!path.isEmpty())
            browser_->showPath(path.toStdString(),
                               item->data(0, kFragmentRole).toString().toStdString());
    });
    connect(indexFilter_, &QLineEdit::textEdited, this, &HelpWindow::applyIndexFilter);
    connect(indexFilter_, &QLineEdit::returnPressed, this, &HelpWindow::showIndexItem);
    connect(indexList_, &QListWidget::itemActivated, this, &HelpWindow::showIndexItem);
    connect(indexList_, &QListWidget::itemClicked, this, &HelpWindow::showIndexItem);
}

HelpWindow::~HelpWindow() { browser_->setArchive(nullptr); }

bool HelpWindow::openFile(const std::filesystem::path& file) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(file, ec);
    if (ec) return false;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) return false;
    if (archive_ && archive_->file() == file && time == openedTime_ && size == openedSize_)
        return true;
    std::unique_ptr<ChmArchive> opened = ChmArchive::open(file);
    if (!opened) return false;
    browser_->setArchive(nullptr);
    browser_->clear();
    browser_->clearHistory();
    archive_ = std::move(opened);
    openedTime_ = time;
    openedSize_ = size;
    browser_->setArchive(archive_.get());
    const std::string title = archive_->title();
    setWindowTitle(title.empty() ? QString::fromUtf8(kDefaultTitle)
                                 : fromUtf8(helpTextToUtf8(title)));
    fillContents();
    fillIndex();
    return true;
}

void HelpWindow::fillContents() {
    syncingTree_ = true;
    tree_->clear();
    struct Pending {
        const std::vector<SitemapEntry>* entries;
        QTreeWidgetItem* parent;
    };
    const std::vector<SitemapEntry> toc = archive_->contents();
    std::vector<Pending> pending{{&toc, nullptr}};
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        for (const SitemapEntry& e : *p.entries) {
            auto* item = p.parent ? new QTreeWidgetItem(p.parent) : new QTreeWidgetItem(tree_);
            item->setText(0, fromUtf8(e.name.empty() ? e.local : e.name));
            item->setToolTip(0, item->text(0));
            const ArchiveLink link = resolveArchiveLink(e.local);
            if (!e.local.empty() && !link.external) {
                item->setData(0, kPathRole, fromUtf8(link.path));
                item->setData(0, kFragmentRole, fromUtf8(link.fragment));
            }
            if (!e.children.empty()) pending.push_back({&e.children, item});
        }
    }
    tree_->expandAll();
    syncingTree_ = false;
    fitContentsPane();
}

void HelpWindow::fitContentsPane() {
    // Every entry shown whole, as long as the page keeps a readable width.
    int entries = 0;
    const QFontMetrics fm(tree_->font());
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        int depth = 1;
        for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++depth;
        entries =
            std::max(entries, depth * tree_->indentation() + fm.horizontalAdvance((*it)->text(0)));
    }
    entries +=
        2 * tree_->frameWidth() + tree_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    const int total = std::max(splitter_->width(), width() - 20);
    const int left = std::clamp(entries, 200, std::max(200, total - 320));
    splitter_->setSizes({left, std::max(total - left, 100)});
}

void HelpWindow::fillIndex() {
    indexList_->clear();
    indexFilter_->clear();
    for (const SitemapEntry& e : archive_->index()) {
        const ArchiveLink link = resolveArchiveLink(e.local);
        if (e.name.empty() || e.local.empty() || link.external) continue;
        auto* item = new QListWidgetItem(fromUtf8(e.name), indexList_);
        item->setData(kPathRole, fromUtf8(link.path));
        item->setData(kFragmentRole, fromUtf8(link.fragment));
    }
    indexList_->sortItems();
}

QRect besideRect(const QRect& tool, const QRect& screen, const QSize& wanted, int minWidth) {
    const int h = std::min(wanted.height(), screen.height());
    const int roomRight = screen.right() - tool.right();
    const int roomLeft = tool.left() - screen.left();
    const bool right =
        roomRight >= wanted.width() || (roomLeft < wanted.width() && roomRight >= roomLeft);
    const int room = right ? roomRight : roomLeft;
    int w = std::min(wanted.width(), screen.width());
    int x;
    if (room >= std::min(w, minWidth)) {
        w = std::min(w, room);
        x = right ? tool.right() + 1 : tool.left() - w;
    } else {
        // No room on either side: at the screen's edge, over as little of the tool as can be.
        w = std::min(w, std::max(minWidth, room));
        x = right ? screen.right() - w + 1 : screen.left();
    }
    const int y =
        std::clamp(tool.top(), screen.top(), std::max(screen.top(), screen.bottom() - h + 1));
    return QRect(x, y, w, h);
}

void HelpWindow::placeBeside(QWidget* tool) {
    if (!tool) return;
    QWidget* top = tool->window();
    QScreen* screen = top->screen() ? top->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // The tool's frame on the screen.
    const QRect client(top->mapToGlobal(QPoint(0, 0)), top->size());
    QRect frame = top->frameGeometry();
    // The window manager's frame of this window, guessed from the tool's own.
    QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                     frame.right() - client.right(), frame.bottom() - client.bottom());
    if (QWindow* w = top->windowHandle(); w && w->parent()) {
        // An embedded tool: beside its host's window, whose frame it does not share.
        while (w->parent()) w = w->parent();
        frame = w->frameGeometry().united(client);
        margins = w->frameMargins();
    }
    const QSize wanted = size().grownBy(margins);
    const QRect mine = besideRect(frame, screen->availableGeometry(), wanted, 640);
    setGeometry(mine.marginsRemoved(margins));
}

void HelpWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && !(e->modifiers() & ~Qt::KeypadModifier)) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void HelpWindow::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    // Back to the window that asked, so its keys work without a click. A window embedded in
    // another program's takes them back itself once the window manager has moved them.
    QWidget* back = askedFrom_.data();
    const bool embedded = back && back->windowHandle() && back->windowHandle()->parent();
    if (back && back->isVisible() && !embedded) back->activateWindow();
}

void HelpWindow::present() {
    // A help window asked for from a modal dialog must not be blocked by it.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this && modal->windowHandle()) {
        winId();
        if (windowHandle() && windowHandle()->transientParent() != modal->windowHandle()) {
            const bool wasVisible = isVisible();
            if (wasVisible) hide();
            windowHandle()->setTransientParent(modal->windowHandle());
        }
    }
    QWidget* from = modal && modal != this ? modal : QApplication::activeWindow();
    if (from == this) from = nullptr;
    if (from) askedFrom_ = from;
    if (!isVisible()) {
        resize(860, 580);
        placeBeside(askedFrom_.data());
    }
    if (isMinimized()) showNormal();
    show();
    fitContentsPane();
    raise();
    activateWindow();
}

void HelpWindow::showContents() {
    if (!archive_) return;
    tabs_->setCurrentIndex(0);
    showTopic(archive_->defaultTopic());
}

void HelpWindow::showTopic(const std::string& topic) {
    if (!archive_) return;
    const ArchiveLink link = resolveArchiveLink(topic.empty() ? archive_->defaultTopic() : topic);
    if (!link.external) browser_->showPath(link.path, link.fragment);
    present();
}

void HelpWindow::showContext(std::uint32_t context) {
    if (!archive_) return;
    const std::optional<std::string> topic = archive_->topicForContext(context);
    showTopic(topic ? *topic : archive_->defaultTopic());
}

void HelpWindow::showIndexKeyword(const std::string& keyword) {
    if (!archive_) return;
    tabs_->setCurrentIndex(1);
    const QString text = fromUtf8(keyword);
    indexFilter_->setText(text);
    applyIndexFilter(text);
    const auto exact = indexList_->findItems(text, Qt::MatchFixedString);
    if (!exact.isEmpty()) {
        indexList_->setCurrentItem(exact.front());
        showIndexItem();
        return;
    }
    if (browser_->currentPath().empty()) browser_->showPath(archive_->defaultTopic());
    present();
}

void HelpWindow::closeAll() {
    close();
    browser_->setArchive(nullptr);
    browser_->clear();
    browser_->clearHistory();
    tree_->clear();
    indexList_->clear();
    archive_.reset();
}

void HelpWindow::selectTreeItemFor(const QString& path) {
    syncingTree_ = true;
    QTreeWidgetItem* match = nullptr;
    for (QTreeWidgetItemIterator it(tree_); *it && !match; ++it)
        if ((*it)->data(0, kPathRole).toString().compare(path, Qt::CaseInsensitive) == 0)
            match = *it;
    if (match) {
        tree_->setCurrentItem(match);
        tree_->scrollToItem(match);
    } else {
        tree_->setCurrentItem(nullptr);
    }
    syncingTree_ = false;
}

void HelpWindow::applyIndexFilter(const QString& text) {
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < indexList_->count(); ++i) {
        QListWidgetItem* item = indexList_->item(i);
        const bool match = item->text().startsWith(text, Qt::CaseInsensitive);
        if (match && !first) first = item;
    }
    if (first) {
        indexList_->setCurrentItem(first);
        indexList_->scrollToItem(first, QAbstractItemView::PositionAtTop);
    }
}

void HelpWindow::showIndexItem() {
    QListWidgetItem* item = indexList_->currentItem();
    if (!item) return;
    browser_->showPath(item->data(kPathRole).toString().toStdString(),
                       item->data(kFragmentRole).toString().toStdString());
    present();
}

}  // namespace tz::help::gui
