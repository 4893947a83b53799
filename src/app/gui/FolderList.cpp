#include "app/gui/FolderList.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace tz::app::gui {
namespace {

constexpr int kIndent = 10;

// Indents each entry by its depth, so the list reads as a path going down.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        o.rect.adjust(index.data(FolderList::LevelRole).toInt() * kIndent, 0, 0, 0);
        QStyledItemDelegate::paint(p, o, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.rwidth() += index.data(FolderList::LevelRole).toInt() * kIndent;
        return s;
    }
};

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::openItem);
}

void FolderList::showFolder(const QString& folder) {
    folder_ = QDir::cleanPath(QDir(folder).absolutePath());
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // Parents from the root down to the folder itself.
    QStringList chain;
    for (QDir d(folder_);;) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp()) break;
    }
    int level = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& path : chain) {
        const QString name =
            QDir(path).isRoot() ? QDir::toNativeSeparators(path) : QDir(path).dirName();
        auto* item = new QListWidgetItem(open, name, this);
        item->setData(PathRole, path);
        item->setData(LevelRole, level++);
        current = item;
    }
    QDir here(folder_);
    const auto subs = here.entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                     QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : subs) {
        auto* item = new QListWidgetItem(closed, name, this);
        item->setData(PathRole, here.absoluteFilePath(name));
        item->setData(LevelRole, level);
    }
    if (current) setCurrentItem(current);
}

void FolderList::initViewItemOption(QStyleOptionViewItem* option) const {
    QListWidget::initViewItemOption(option);
    // Whether the list has the focus shows in its current entry: marked without it.
    if (!hasFocus()) {
        option->palette.setColor(QPalette::Highlight, QColor(198, 210, 236));
        option->palette.setColor(QPalette::HighlightedText, Qt::black);
    }
}

void FolderList::focusInEvent(QFocusEvent* e) {
    QListWidget::focusInEvent(e);
    viewport()->update();
}

void FolderList::focusOutEvent(QFocusEvent* e) {
    QListWidget::focusOutEvent(e);
    viewport()->update();
}

void FolderList::openItem(QListWidgetItem* item) {
    if (item) emit openRequested(item->data(PathRole).toString());
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace tz::app::gui
