#include "tables/qt/DatasetModel.h"

#include <QItemSelectionModel>
#include <exception>
#include <utility>

#include "tables/Cp1252.h"

namespace tz::tables::qt {

bool encodeCp1252(const QString& text, std::string& bytes) {
    QByteArray utf8 = text.toUtf8();
    auto encoded = cp1252::fromUtf8(std::string_view(utf8.constData(), utf8.size()));
    if (!encoded) return false;
    bytes = std::move(*encoded);
    return true;
}

QString decodeCp1252(std::string_view bytes) {
    return QString::fromStdString(cp1252::toUtf8(bytes));
}

DatasetModel::DatasetModel(Dataset* dataset, QVector<DatasetColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {
    setDataset(dataset);
}

DatasetModel::~DatasetModel() {
    if (dataset_) dataset_->removeObserver(this);
}

void DatasetModel::setDataset(Dataset* dataset) {
    beginResetModel();
    if (dataset_) dataset_->removeObserver(this);
    dataset_ = dataset;
    if (dataset_) dataset_->addObserver(this);
    resolveFields();
    endResetModel();
    lastRows_ = rowCount();
    syncSelection();
}

void DatasetModel::resolveFields() {
    fieldNos_.fill(-1, columns_.size());
    if (!dataset_ || !dataset_->isOpen()) return;
    for (int c = 0; c < columns_.size(); ++c)
        fieldNos_[c] = dataset_->fieldIndex(columns_[c].field.toStdString());
}

int DatasetModel::fieldNo(int column) const {
    return column >= 0 && column < fieldNos_.size() ? fieldNos_[column] : -1;
}

int DatasetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !dataset_ || !dataset_->isOpen()) return 0;
    int rows = dataset_->recordCount();
    // A new row being typed in is shown after the stored ones.
    if (dataset_->state() == DatasetState::Insert && dataset_->position() >= rows) ++rows;
    return rows;
}

int DatasetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

int DatasetModel::currentRow() const {
    if (!dataset_ || !dataset_->isOpen()) return -1;
    return dataset_->position();
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !dataset_ || !dataset_->isOpen()) return {};
    const int f = fieldNo(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole: {
            if (f < 0 || index.row() >= rowCount()) return {};
            // The current row reads its pending values.
            std::string v =
                index.row() == currentRow() ? dataset_->text(f) : dataset_->textAt(index.row(), f);
            return decodeCp1252(v);
        }
        case MaxLengthRole:
            return f < 0 ? 0 : dataset_->fields()[static_cast<std::size_t>(f)].width;
        case PickListRole:
            return columns_[index.column()].pickList;
        case WidthCharsRole:
            return columns_[index.column()].width;
        default:
            return {};
    }
}

bool DatasetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
    const int f = fieldNo(index.column());
    if (f < 0) return false;
    std::string bytes;
    if (!encodeCp1252(value.toString(), bytes)) return false;  // refused, not mangled
    const auto width =
        static_cast<std::size_t>(dataset_->fields()[static_cast<std::size_t>(f)].width);
    if (bytes.size() > width) bytes.resize(width);
    try {
        if (index.row() != currentRow()) dataset_->moveTo(index.row());
        if (dataset_->state() == DatasetState::Browse) dataset_->edit();
        if (dataset_->text(f) == bytes) return true;
        dataset_->setText(f, bytes);
    } catch (const std::exception& e) {
        if (onError) onError(e.what());
        return false;
    }
    const int row = currentRow();
    if (row >= 0 && row < rowCount())
        emit dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
    return true;
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size()) return {};
    if (role == Qt::DisplayRole) return columns_[section].title;
    if (role == WidthCharsRole) return columns_[section].width;
    return {};
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (columns_[index.column()].editable && dataset_ && dataset_->isOpen() &&
        dataset_->mode() != OpenMode::ReadOnly && fieldNo(index.column()) >= 0)
        f |= Qt::ItemIsEditable;
    return f;
}

void DatasetModel::bindSelection(QItemSelectionModel* selection) {
    if (selection_) disconnect(selection_, nullptr, this, nullptr);
    selection_ = selection;
    if (!selection_) return;
    connect(selection_, &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                if (!syncing_ && current.isValid()) setCurrentRow(current.row());
            });
    syncSelection();
}

void DatasetModel::setCurrentRow(int row) {
    if (!dataset_ || !dataset_->isOpen() || row < 0 || row == currentRow()) return;
    try {
        dataset_->moveTo(row);
    } catch (const std::exception& e) {
        if (onError) onError(e.what());
    }
    // The dataset may have refused or clamped the move: the view follows the dataset.
    syncSelection();
}

void DatasetModel::syncSelection() {
    if (!selection_ || syncing_) return;
    const int row = currentRow();
    QModelIndex cur = selection_->currentIndex();
    if (row < 0 || row >= rowCount()) return;
    if (cur.isValid() && cur.row() == row) return;
    syncing_ = true;
    const int column = cur.isValid() ? cur.column() : 0;
    selection_->setCurrentIndex(index(row, column), QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

void DatasetModel::viewReset() {
    beginResetModel();
    resolveFields();
    endResetModel();
    lastRows_ = rowCount();
    emit currentRowChanged(currentRow());
    syncSelection();
}

void DatasetModel::rowChanged(int position) {
    if (position < 0 || position >= rowCount() || columns_.isEmpty()) return;
    emit dataChanged(index(position, 0), index(position, columnCount() - 1));
}

void DatasetModel::currentChanged() {
    // Beginning or dropping a new row changes the number of rows shown.
    if (rowCount() != lastRows_) {
        viewReset();
        return;
    }
    emit currentRowChanged(currentRow());
    syncSelection();
}

Cp1252Validator::Cp1252Validator(int maxBytes, QObject* parent)
    : QValidator(parent), max_(maxBytes) {}

QValidator::State Cp1252Validator::validate(QString& input, int&) const {
    const auto cps = input.toUcs4();
    if (max_ > 0 && cps.size() > max_) return Invalid;
    for (char32_t cp : cps)
        if (!cp1252::fromUnicode(cp)) return Invalid;
    return Acceptable;
}

}  // namespace tz::tables::qt
