#include "entryform.h"

#include "store/dberror.h"
#include "store/fieldtext.h"
#include "widgets/msgbox.h"
#include "widgets/twips.h"

EntryBox::EntryBox(const QString& name, QWidget* parent) : QLineEdit(parent)
{
    setObjectName(name);
}

void EntryBox::bind(const ViewPtr& view, const QString& field)
{
    for (auto& c : m_connections)
        disconnect(c);
    m_view = view;
    m_field = field;
    m_column = view ? view->fieldIndex(field) : -1;
    if (m_view && m_column < 0)
        throw DbError(DbError::BadArguments,
                      QStringLiteral("項目「%1」はこのビューにありません。").arg(field));
    if (m_view) {
        auto update = [this] { refresh(); };
        m_connections[0] = connect(m_view.get(), &View::currentChanged, this, update);
        m_connections[1] = connect(m_view.get(), &View::didReset, this, update);
        m_connections[2] = connect(m_view.get(), &View::rowChanged, this, update);
    }
    refresh();
}

void EntryBox::refresh()
{
    m_shown.clear();
    if (m_view && m_view->isOpen() && m_view->hasCurrent() && m_column >= 0)
        m_shown = entryText(m_view->value(m_column), m_view->field(m_column).type);
    setText(m_shown);
    setCursorPosition(0);
}

std::vector<TypedValue> readChangedBoxes(const View& view, const std::vector<EntryBox*>& boxes)
{
    std::vector<TypedValue> out;
    for (EntryBox* box : boxes) {
        if (!box->isChanged() || box->column() < 0)
            continue;
        out.push_back({box->column(), valueFromText(view.field(box->column()), box->text())});
    }
    return out;
}

QStringList boxTexts(const std::vector<EntryBox*>& boxes)
{
    QStringList texts;
    for (EntryBox* box : boxes)
        texts << box->text();
    return texts;
}

void restoreBoxTexts(const std::vector<EntryBox*>& boxes, const QStringList& texts)
{
    for (size_t i = 0; i < boxes.size() && int(i) < texts.size(); ++i)
        boxes[i]->setText(texts.at(int(i)));
}

QPushButton* entryButton(QWidget* parent, const char* name, const QString& caption,
                         const QString& tip, int bgr)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    if (bgr >= 0)
        button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; }"
                                             "QPushButton:disabled { color: #808080; }")
                                  .arg(bgrColor(quint32(bgr)).name()));
    return button;
}

// Moving or deleting while a new record is pending would store it or throw it
// away unasked.
bool refusedWhileAdding(bool adding)
{
    if (!adding)
        return false;
    MsgBox(QStringLiteral("確定か、キャンセルをクリックしてからにしてください"), QMessageBox::Ok,
           QMessageBox::Critical);
    return true;
}

QString entryNote()
{
    return QStringLiteral(
        "※追加する場合は最初に追加ボタンを、訂正　　する場合は訂正後に訂正ボタンをクリック"
        "　　　してください");
}
