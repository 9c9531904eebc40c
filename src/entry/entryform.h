#pragma once

#include "store/catalogue.h"
#include "store/view.h"

#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <vector>

using ViewPtr = std::shared_ptr<View>;

// An editable box showing one field of a view's current row in the form it is
// typed in (dates yy/M/d, numbers without separators). What the user types
// stays in the box until the record shown changes or is saved.
class EntryBox : public QLineEdit {
    Q_OBJECT
public:
    explicit EntryBox(const QString& name, QWidget* parent = nullptr);
    void bind(const ViewPtr& view, const QString& field);
    const QString& dataField() const { return m_field; }
    int column() const { return m_column; }
    // Whether the text differs from the value the row holds.
    bool isChanged() const { return text() != m_shown; }
    void refresh();

private:
    ViewPtr m_view;
    QString m_field;
    int m_column = -1;
    QString m_shown;
    QMetaObject::Connection m_connections[3];
};

// One field's new value, read from its box.
using TypedValue = catalogue::FieldChange;

// Reads every box whose text the user changed, by the field's type. The
// first text a field cannot hold raises DbError naming the field and the text,
// before anything is written.
std::vector<TypedValue> readChangedBoxes(const View& view, const std::vector<EntryBox*>& boxes);

// The texts of the boxes, to put back after a refused save.
QStringList boxTexts(const std::vector<EntryBox*>& boxes);
void restoreBoxTexts(const std::vector<EntryBox*>& boxes, const QStringList& texts);

// A push button of the entry forms, in the given colour (&HBBGGRR) if any.
QPushButton* entryButton(QWidget* parent, const char* name, const QString& caption,
                         const QString& tip = QString(), int bgr = -1);

// In add mode the user finishes the entry before moving, deleting or
// closing: says so and answers true.
bool refusedWhileAdding(bool adding);

// The note above the buttons of both entry forms.
QString entryNote();
