#pragma once

#include <QString>
#include <exception>

namespace velmor {

// Every failure of the data layer carries a number and a Spanish description.
// Numbers below 3000 are the engine's own result codes; the others are ours.
namespace ErrorNumber {
    inline constexpr int NoCurrentRecord = 3021;
    inline constexpr int FileNotFound = 3024;
    inline constexpr int TableNotFound = 3078;
    inline constexpr int RecordDeleted = 3167;
    inline constexpr int ItemNotFound = 3265;
    inline constexpr int UnrecognizedFormat = 3343;
    inline constexpr int BadSchema = 3344;
    inline constexpr int NotAllowed = 3219;
    inline constexpr int InvalidOperation = 3251;
    inline constexpr int NotSqlite = 3345;
    // Failures of the file itself rather than of one statement. A caller that must
    // tell "try again later" from "the file is bad" compares against these.
    inline constexpr int InUse = 3045; // another program holds the file
    inline constexpr int ReadOnly = 3027; // the file or its folder cannot be written
    inline constexpr int DiskFull = 3026;
    inline constexpr int Damaged = 3049;
    inline constexpr int CannotOpen = 3044;
    inline constexpr int InterruptedWrite = 3346; // needs a writable copy to be undone
}

struct DataError : std::exception {
    DataError(int n, QString d);
    int number;
    QString description;
    const char* what() const noexcept override;

private:
    QByteArray m_what;
};

DataError noCurrentRecord();

}
