#pragma once
// The one failure type of the program's procedures: a number and a
// description, like the run-time errors the trapped procedures report.
#include <QString>
#include <stdexcept>

namespace lumicade {

namespace ErrNo {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int SubscriptOutOfRange = 9;
constexpr int DivisionByZero = 11;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int PermissionDenied = 70;
constexpr int PathNotFound = 76;
constexpr int InvalidPropertyValue = 380;  // a control refused the value it was given
constexpr int InvalidPicture = 481;
constexpr int BufferTooSmall = 20476;  // the open-file dialog's name buffer overflowed
}  // namespace ErrNo

class VbError : public std::runtime_error {
public:
    VbError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number), description_(description) {}
    int number() const { return number_; }
    const QString& description() const { return description_; }

    // The standard wording for the numbers the program raises itself.
    static VbError make(int number);

private:
    int number_;
    QString description_;
};

}  // namespace lumicade
