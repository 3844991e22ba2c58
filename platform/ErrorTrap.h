#pragma once
// The error trap of the numbered procedures. Each numbered statement is one
// call of step(); when its body throws, the "Application Error" report is
// shown with the procedure's location text and the statement number, and the
// procedure carries on with its next statement.
//
//   ErrorTrap trap(dialogs, "in Kestrane2021/08/31.Form1.Form_Load ");
//   trap.step(100, [&] { ApplySkin(); });
//   bool ok = true;                       // a failed test takes its true branch
//   trap.step(104, [&] { ok = PathExists(hand); });
//   if (ok) trap.step(106, [&] { ... });
#include <QString>
#include <functional>

namespace lumicade {

class Dialogs;

class ErrorTrap {
public:
    ErrorTrap(Dialogs& dialogs, QString location);

    // Runs one numbered statement. Returns false when it failed (after the report).
    bool step(int line, const std::function<void()>& body);

    // Where a procedure reports failures in a special way (PushButton1_Click,
    // error 20476), this hook sees the error first; returning true means it
    // dealt with it and the general report is not shown.
    void setSpecialHandler(std::function<bool(int number, const QString& description)> handler);

    // True once the special handler took a failure: the procedure leaves
    // without running its remaining statements.
    bool abandoned() const { return abandoned_; }

    int lastLine() const { return line_; }
    int failures() const { return failures_; }
    const QString& location() const { return location_; }

    // The report text exactly as shown (description, CR LF, location, "at line ", number, CR CR, support sentence).
    static QString reportText(const QString& description, const QString& location, int line);
    static const char* const kTitle;  // "Application Error"

    // Shows the report for a failure caught outside step() (before the first statement: line 0).
    void report(const QString& description, int line);

private:
    Dialogs& dialogs_;
    QString location_;
    int line_ = 0;
    int failures_ = 0;
    bool abandoned_ = false;
    std::function<bool(int, const QString&)> special_;
};

}  // namespace lumicade
