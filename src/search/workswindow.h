#pragma once

#include "store/works.h"

#include <QDialog>
#include <QVector>

class QLineEdit;
class QStandardItemModel;
class QSortFilterProxyModel;
class QTableView;

// 作品一覧: the composers, the works of the one chosen, the recordings of
// the work chosen, and the times of its movements side by side across those
// recordings, so that two performances' tempi can be compared. The works are
// those of every song stored when the window opened.
class frmWorks : public QDialog {
    Q_OBJECT
public:
    explicit frmWorks(QVector<works::Composer> composers, QWidget* parent = nullptr);

    // What the grids list now, for the window's own use and its tests.
    const works::Composer* chosenComposer() const;
    const works::Work* chosenWork() const;

Q_SIGNALS:
    // A recording was double-clicked: its CDs are to be shown as a CD search
    // under the caption, its songs marked.
    void recordingChosen(const QStringList& cdTitles, const QVector<qint64>& songRowids,
                         const QString& caption);

private:
    void fillComposers();
    void fillWorks();
    void fillRecordings();
    bool composerShown(const works::Composer& c, const QStringList& words) const;
    bool workShown(const works::Composer& c, const works::Work& w, const QStringList& words) const;

    QVector<works::Composer> m_composers;
    QVector<QString> m_composerText; // what the filter looks through, per composer
    QVector<QVector<QString>> m_workText; // and per work
    QLineEdit* txtWorkFilter;
    QTableView* grdComposers;
    QTableView* grdWorks;
    QTableView* grdRecordings;
    QTableView* grdMovementTimes;
    QStandardItemModel* m_composerModel;
    QStandardItemModel* m_workModel;
    QSortFilterProxyModel* m_workOrder;
    QStandardItemModel* m_recordingModel;
    QStandardItemModel* m_timeModel;
};
