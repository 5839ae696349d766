#pragma once

#include "platform/db/Query.h"

#include <QAbstractTableModel>
#include <functional>

namespace app::forms {

// The grid's model over a dataset: rows are read on demand through the
// dataset (a million-row table is never loaded whole), an edited cell is
// written back through the dataset (edit, set, post), and the model follows
// the dataset's notifications. It never changes data behind the dataset's
// back. To be used from the GUI thread only.
class DataSetModel : public QAbstractTableModel, private db::QueryObserver {
    Q_OBJECT
  public:
    explicit DataSetModel(db::Query& query, QObject* parent = nullptr);
    ~DataSetModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Reports an error of a post (shown in the standard error box).
    std::function<void(const QString&)> showError;
    // Posts an edited cell's value; the dataset's own edit, set and post
    // unless replaced (the window's edits are logged and can be undone).
    std::function<void(int row, int column, const db::Value& value)> postEdit;
    // The tooltip of a cell showing `text`; none unless set.
    std::function<QString(int row, int column, const QString& text)> toolTip;

    // Cells can be edited only while this is on; off at first.
    void setEditable(bool on);
    [[nodiscard]] bool editable() const { return mEditable; }

  signals:
    void currentRowChanged(int row);
    void controlsDisabled(bool disabled);

  private:
    void datasetChanged() override;
    void rowChanged(int row) override;
    void currentChanged(int row) override;
    void controlsChanged(bool disabled) override;

    db::Query& mQuery;
    int mRows = 0;
    int mColumns = 0;
    bool mEditable = false;
};

} // namespace app::forms
