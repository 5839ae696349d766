#include "app/forms/DataSetModel.h"

#include "platform/db/Error.h"

namespace app::forms {

DataSetModel::DataSetModel(db::Query& query, QObject* parent)
    : QAbstractTableModel(parent), mQuery(query) {
    mQuery.addObserver(this);
    datasetChanged();
}

DataSetModel::~DataSetModel() { mQuery.removeObserver(this); }

int DataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : mRows;
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : mColumns;
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (!mQuery.isOpen() || index.row() >= mQuery.recordCount() ||
        index.column() >= mQuery.fieldCount())
        return {};
    try {
        return QString::fromStdString(
            db::Query::ToText(mQuery.valueAt(index.row(), index.column())));
    } catch (const std::exception&) {
        return {}; // painting never raises; the next command reports the error
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < mQuery.fieldCount())
        return QString::fromStdString(mQuery.field(section).name);
    return {};
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() < mQuery.fieldCount() &&
        !mQuery.field(index.column()).baseColumn.empty())
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid())
        return false;
    try {
        const db::Field& field = mQuery.field(index.column());
        const std::string text = value.toString().toStdString();
        db::Value v;
        if (!text.empty()) {
            switch (field.kind) {
            case db::FieldKind::Integer:
            case db::FieldKind::SmallInt:
            case db::FieldKind::Boolean:
                v = db::Query::ToInteger(text);
                break;
            case db::FieldKind::Float:
            case db::FieldKind::Currency:
            case db::FieldKind::Bcd:
                v = db::Query::ToFloat(text);
                break;
            default:
                v = text;
            }
        }
        mQuery.moveTo(index.row());
        mQuery.edit();
        mQuery.setValue(index.column(), v);
        mQuery.post();
        return true;
    } catch (const std::exception& e) {
        mQuery.cancel();
        if (showError)
            showError(QString::fromUtf8(e.what()));
        return false;
    }
}

void DataSetModel::datasetChanged() {
    beginResetModel();
    mRows = mQuery.isOpen() ? mQuery.recordCount() : 0;
    mColumns = mQuery.isOpen() ? mQuery.fieldCount() : 0;
    endResetModel();
    if (mQuery.isOpen() && mQuery.recNo() >= 0)
        emit currentRowChanged(mQuery.recNo());
}

void DataSetModel::rowChanged(int row) {
    if (mQuery.recordCount() != mRows) { // an appended row
        beginInsertRows({}, mRows, mQuery.recordCount() - 1);
        mRows = mQuery.recordCount();
        endInsertRows();
    }
    if (row >= 0 && row < mRows)
        emit dataChanged(index(row, 0), index(row, mColumns - 1));
}

void DataSetModel::currentChanged(int row) { emit currentRowChanged(row); }

void DataSetModel::controlsChanged(bool disabled) { emit controlsDisabled(disabled); }

} // namespace app::forms
