#include "help/gui/HelpWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QWindow>
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
    tree_->expandToDepth(0);
    syncingTree_ = false;
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
    if (isMinimized()) showNormal();
    show();
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
