#include "containscompleter.h"

#include "store/findtext.h"
#include "store/view.h"

#include <QAbstractItemView>
#include <QCollator>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

#include <algorithm>

void offerEntriesContainingTyped(QComboBox* combo)
{
    combo->setCompleter(nullptr); // the list's own completion knows only the beginnings
    auto* offered = new QStringListModel(combo);
    auto* completer = new QCompleter(offered, combo);
    completer->setObjectName(combo->objectName() + QStringLiteral("_offers"));
    // the list is made here; the completer shows it as it is
    completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer->setMaxVisibleItems(combo->maxVisibleItems());
    completer->setWidget(combo->lineEdit());
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, completer,
                     [combo, offered, completer](const QString& typed) {
                         const QString word = normalizedForFind(typed);
                         QStringList matches;
                         if (!word.isEmpty())
                             for (int i = 0; i < combo->count(); ++i)
                                 if (normalizedForFind(combo->itemText(i)).contains(word))
                                     matches << combo->itemText(i);
                         std::stable_sort(matches.begin(), matches.end(), japaneseCollator());
                         matches.removeDuplicates();
                         offered->setStringList(matches);
                         if (matches.isEmpty())
                             completer->popup()->hide();
                         else
                             completer->complete();
                     });
    QObject::connect(completer, qOverload<const QString&>(&QCompleter::activated), combo,
                     [combo](const QString& title) {
                         const int index = combo->findText(title);
                         if (index >= 0)
                             combo->setCurrentIndex(index);
                         combo->setEditText(title);
                     });
}
