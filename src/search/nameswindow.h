#pragma once

#include "store/namegroups.h"

#include <QDialog>

class Collection;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QTableView;

// 名前の整理: the name groups of every person field, the groups the window
// suggests joining, and the collector's commands on them. Nothing is joined,
// split or rewritten but by a command here.
class frmNames : public QDialog {
    Q_OBJECT
public:
    explicit frmNames(Collection& db, QWidget* parent = nullptr);

    const QVector<names::Group>& groups() const { return m_groups; }
    const QVector<names::Suggestion>& suggestions() const { return m_suggestions; }

private:
    void refill();
    void showSpellings();
    const names::Group* currentGroup() const;
    QStringList spellingsOf(const QVector<int>& groups) const;
    void cmdJoin_Click();
    void cmdSplit_Click();
    void cmdRename_Click();
    void cmdUnify_Click();
    // Runs a command on the collection; a refusal is told, and the lists are
    // read again either way.
    void run(const std::function<void()>& command);

    Collection& db;
    QVector<names::Group> m_groups;
    QVector<names::Suggestion> m_suggestions;
    QTableView* grdNames;
    QStandardItemModel* m_nameModel;
    QListWidget* lstSpellings;
    QTableView* grdSuggestions;
    QStandardItemModel* m_suggestionModel;
};
