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
