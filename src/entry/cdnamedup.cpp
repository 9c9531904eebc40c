#include "cdnamedup.h"

#include "store/collection.h"
#include "store/dberror.h"
#include "widgets/msgbox.h"

#include <QLineEdit>

bool CheckCDNameDup(Collection& db, QLineEdit* title)
{
    if (!title)
        throw DbError(DbError::BadArguments, QStringLiteral("CD名の入力欄がありません。"));
    if (!db.CDNameExists(title->text()))
        return false;
    const auto answer
        = MsgBox(QStringLiteral("氏名が重複しています。\r\r同ＣＤ名として登録しますか？"),
                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Information);
    if (answer == QMessageBox::Yes)
        return false;
    title->setFocus();
    return true;
}
