#include "app/forms/DataSetModel.h"

#include "platform/db/Error.h"

namespace app::forms {

DataSetModel::DataSetModel(db::Query& query, QObject* parent)
    : QAbstractTableModel(parent), mQuery(query) {
    mQuery.addObserver(this);
    datasetChanged();
}

DataSetModel::~DataSetModel() {
    mQuery.removeObserver(this);
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : mRows;
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : mColumns;
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    const bool tip = role == Qt::ToolTipRole && toolTip;
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole && !tip))
        return {};
    if (!mQuery.isOpen() || index.row() >= mQuery.recordCount() ||
        index.column() >= mQuery.fieldCount())
        return {};
    try {
        QString text =
            QString::fromStdString(db::Query::ToText(mQuery.valueAt(index.row(), index.column())));
        if (tip)
            return toolTip(index.row(), index.column(), text);
        return text;
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
    if (mEditable && index.isValid() && index.column() < mQuery.fieldCount() &&
        !mQuery.field(index.column()).baseColumn.empty())
        f |= Qt::ItemIsEditable;
    return f;
}

void DataSetModel::setEditable(bool on) {
    if (on == mEditable)
        return;
    mEditable = on;
    if (mRows > 0 && mColumns > 0) // the views ask the flags again
        emit dataChanged(index(0, 0), index(mRows - 1, mColumns - 1));
}

namespace {

// The value of a cell's text as the field's kind stores it; blank is null.
db::Value ValueOf(const db::Field& field, const std::string& text) {
    if (text.empty())
        return {};
    switch (field.kind) {
    case db::FieldKind::Integer:
    case db::FieldKind::SmallInt:
    case db::FieldKind::Boolean:
        return db::Query::ToInteger(text);
    case db::FieldKind::Float:
    case db::FieldKind::Currency:
    case db::FieldKind::Bcd:
        return db::Query::ToFloat(text);
    default:
        return text;
    }
}

} // namespace

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    try {
        const db::Value v = ValueOf(mQuery.field(index.column()), value.toString().toStdString());
        if (postEdit) {
            postEdit(index.row(), index.column(), v);
            return true;
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

void DataSetModel::currentChanged(int row) {
    emit currentRowChanged(row);
}

void DataSetModel::controlsChanged(bool disabled) {
    emit controlsDisabled(disabled);
}

} // namespace app::forms
