#pragma once

#include "store/wishes.h"

#include <QDialog>

#include <array>

class Collection;
class QLineEdit;
class QTableWidget;

// 欲しいもの: the wish list, sortable by any column and looked through as
// quick find looks; a wish chosen fills the boxes below to be changed, and
// 買った hands it to the main window to become a CD.
class frmWishes : public QDialog {
    Q_OBJECT
public:
    explicit frmWishes(Collection& db, QWidget* parent = nullptr);
    // Lists only the wishes this text finds (as typed in quick find).
    void findText(const QString& typed);
    QLineEdit* txtWish(int i) const { return m_txtWish.at(size_t(i)); }

Q_SIGNALS:
    // 買った: the wish is to be entered as a CD, and removed once it is.
    void bought(const wishes::Wish& wish);

private:
    void refill();
    void showChosen();
    std::optional<wishes::Wish> typed(); // what the boxes hold; none when refused
    std::optional<wishes::Wish> chosen() const;
    void cmdWishAdd_Click();
    void cmdWishSave_Click();
    void cmdWishDelete_Click();
    void cmdBought_Click();

    Collection& db;
    QLineEdit* txtWishFind;
    QTableWidget* grdWishes;
    std::array<QLineEdit*, 8> m_txtWish{};
};
