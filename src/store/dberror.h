#pragma once

#include <QString>
#include <exception>

// The one run-time error of the program. Handlers test the number (3021 for a
// missing current row, 3219 for an operation not allowed while an edit is
// pending, ...) and show the description.
class DbError : public std::exception {
public:
    enum Number : int {
        NoCurrentRow = 3021,
        NotAllowedNow = 3219,
        BadArguments = 3001,
        ItemNotFound = 3265, // a name the table or the list does not have
        TypeMismatch = 13, // a typed text the field cannot hold
        Damaged = 3343, // the collection file is damaged
        BackupFailed = 3026, // the copy made before the first write could not be made
        MultipleStepFailed = -2147217887,
        RowNotFound = -2147217864,
        ProviderError = -2147467259,
    };

    DbError(int number, QString description);

    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

    static DbError noCurrentRow();
    static DbError notAllowedNow();

private:
    int m_number;
    QString m_description;
    QByteArray m_utf8;
};
