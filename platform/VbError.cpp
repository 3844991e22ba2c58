#include "VbError.h"

namespace lumicade {

VbError VbError::make(int number)
{
    // The wording the program's users know from the run-time's own reports.
    switch (number) {
    case ErrNo::InvalidProcedureCall:
        return VbError(number, QStringLiteral("Invalid procedure call or argument"));
    case ErrNo::Overflow:
        return VbError(number, QStringLiteral("Overflow"));
    case ErrNo::SubscriptOutOfRange:
        return VbError(number, QStringLiteral("Subscript out of range"));
    case ErrNo::DivisionByZero:
        return VbError(number, QStringLiteral("Division by zero"));
    case ErrNo::TypeMismatch:
        return VbError(number, QStringLiteral("Type mismatch"));
    case ErrNo::FileNotFound:
        return VbError(number, QStringLiteral("File not found"));
    case ErrNo::PermissionDenied:
        return VbError(number, QStringLiteral("Permission denied"));
    case ErrNo::PathNotFound:
        return VbError(number, QStringLiteral("Path not found"));
    case ErrNo::InvalidPropertyValue:
        return VbError(number, QStringLiteral("Invalid property value"));
    case ErrNo::InvalidPicture:
        return VbError(number, QStringLiteral("Invalid picture"));
    case ErrNo::BufferTooSmall:
        return VbError(number, QStringLiteral("The buffer at which the member lpstrFile points is too small."));
    default:
        return VbError(number, QStringLiteral("Application-defined or object-defined error"));
    }
}

}  // namespace lumicade
