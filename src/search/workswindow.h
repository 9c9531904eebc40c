#pragma once

#include "store/works.h"

#include <QDialog>
#include <QVector>

#include <memory>

#include <QHash>
#include <QPair>

class QLineEdit;
class QTableView;

// 作品一覧: the composers, the works of the one chosen, the recordings of
// the work chosen, and the times of its movements side by side across those
// recordings, so that two performances' tempi can be compared. The works are
// those of every song stored when the window opened.
class frmWorks : public QDialog {
    Q_OBJECT
public:
    explicit frmWorks(std::shared_ptr<const works::Catalogue> works, QWidget* parent = nullptr);
    ~frmWorks() override;

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
    void fitTimeColumns(const QStringList& headings);
    // The works of one composer the filter's words find, in catalogue order.
    QVector<int> shownWorks(int composer, const QStringList& words) const;
    const QVector<int>& titleRank(const works::Composer& c);

    class Cells;
    std::shared_ptr<const works::Catalogue> m_catalogue;
    QVector<works::Composer> m_composers; // the catalogue's, shared
    QVector<works::Shown> m_shown; // the recordings of the work chosen
    QVector<QString> m_composerText; // what the filter looks through, per composer
    QVector<QVector<QString>> m_workText; // and per work, with its composer's
    QVector<QVector<int>> m_titleRank; // per composer, each work's place by title
    QHash<int, QPair<int, int>> m_shownCounts; // per composer listed: works and recordings
    QLineEdit* txtWorkFilter;
    QTableView* grdComposers;
    QTableView* grdWorks;
    QTableView* grdRecordings;
    QTableView* grdMovementTimes;
    Cells* m_composerCells;
    Cells* m_workCells;
    Cells* m_recordingCells;
    Cells* m_timeCells;
};
