#include "ErrorTrap.h"

#include "Dialogs.h"
#include "VbError.h"

#include <exception>
#include <new>
#include <utility>

namespace lumicade {

const char* const ErrorTrap::kTitle = "Application Error";

namespace {
const QString kSupportAddress = QStringLiteral("support@lumicade.example");
}

ErrorTrap::ErrorTrap(Dialogs& dialogs, QString location)
    : dialogs_(dialogs), location_(std::move(location))
{
}

bool ErrorTrap::step(int line, const std::function<void()>& body)
{
    line_ = line;
    int number = 0;
    QString description;
    try {
        body();
        return true;
    } catch (const VbError& e) {
        number = e.number();
        description = e.description();
    } catch (const std::bad_alloc&) {
        number = 7;
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        // Failures of the libraries underneath carry no number of ours.
        number = 51;
        description = QString::fromLocal8Bit(e.what());
        if (description.isEmpty())
            description = QStringLiteral("Internal error");
    } catch (...) {
        number = 51;
        description = QStringLiteral("Internal error");
    }

    if (special_ && special_(number, description)) {
        ++failures_;
        abandoned_ = true;
        return false;
    }
    report(description, line_);
    return false;
}

void ErrorTrap::setSpecialHandler(std::function<bool(int number, const QString& description)> handler)
{
    special_ = std::move(handler);
}

QString ErrorTrap::reportText(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(line)
        + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ") + kSupportAddress;
}

void ErrorTrap::report(const QString& description, int line)
{
    ++failures_;
    dialogs_.messageBox(reportText(description, location_, line), MsgBox::OkOnly | MsgBox::Exclamation,
                        QString::fromLatin1(kTitle));
}

}  // namespace lumicade
