#pragma once
#include <functional>
#include <string>
#include <string_view>

#include <QAbstractTableModel>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QValidator>
#include <QVector>

#include "tables/Dataset.h"

class QItemSelectionModel;

namespace tz::tables::qt {

// One column of a grid over a dataset.
struct DatasetColumn {
    QString field;  // table field name
    QString title;  // header text
    int width = 0;  // display width in characters
    bool editable = false;
    QStringList pickList;  // values offered by a drop-down editor (empty: a plain edit box)
};

// A table model over a Dataset that reads rows on demand (never copies the table) and follows
// the dataset's change notifications. Values are Windows-1252 bytes, shown decoded; an edit is
// encoded back, refused when a character has no Windows-1252 byte, and cut to the field width.
//
// The dataset must outlive the model, or be detached first with setDataset(nullptr).
class DatasetModel : public QAbstractTableModel, private DatasetObserver {
    Q_OBJECT
  public:
    // Extra data roles.
    enum Role {
        MaxLengthRole = Qt::UserRole + 1,  // int: the field width in bytes (0: not a C field)
        PickListRole,                      // QStringList: the column's drop-down values
        WidthCharsRole                     // int: the column's display width in characters
    };

    DatasetModel(Dataset* dataset, QVector<DatasetColumn> columns, QObject* parent = nullptr);
    ~DatasetModel() override;

    void setDataset(Dataset* dataset);
    Dataset* dataset() const { return dataset_; }
    const QVector<DatasetColumn>& columns() const { return columns_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Keeps a view's current row and the dataset's current row in step: choosing a row in the
    // view moves the dataset, the dataset moving moves the view's current index.
    void bindSelection(QItemSelectionModel* selection);

    // The dataset's current row as a model row (-1 when none).
    int currentRow() const;

    // Errors raised by the dataset while storing an edit are reported here (the model cannot
    // throw through Qt's event loop). Unset: the edit is refused silently.
    std::function<void(const std::string&)> onError;

  public slots:
    // Moves the dataset to this row (settling a pending row first, as any move does).
    void setCurrentRow(int row);

  signals:
    void currentRowChanged(int row);

  private:
    void viewReset() override;
    void rowChanged(int position) override;
    void currentChanged() override;
    void syncSelection();
    int fieldNo(int column) const;
    void resolveFields();

    Dataset* dataset_ = nullptr;
    QVector<DatasetColumn> columns_;
    QVector<int> fieldNos_;
    QPointer<QItemSelectionModel> selection_;
    bool syncing_ = false;
    int lastRows_ = 0;
};

// Accepts only text whose every character has a Windows-1252 byte, of at most `maxBytes`
// characters (0: no limit).
class Cp1252Validator : public QValidator {
    Q_OBJECT
  public:
    explicit Cp1252Validator(int maxBytes = 0, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

  private:
    int max_;
};

// The Windows-1252 bytes of a display text; false when a character has none.
bool encodeCp1252(const QString& text, std::string& bytes);
// The display text of Windows-1252 bytes.
QString decodeCp1252(std::string_view bytes);

}  // namespace tz::tables::qt
