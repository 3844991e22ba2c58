#pragma once
// The memory one drawing's work may hold: its scene, the text laid out for
// it, the curves flattened, the glyphs expanded, the graphics of its custom
// objects. Counted where the memory is taken, in bytes, so that no file of
// any size can make a conversion hold more; the work that would pass the
// limit is left out and the picture says so, as with the work budgets.
//
// The budget of the drawing a thread is working on is that thread's current
// one: fonts and readers deep below the scene count into it without being
// handed a drawing. One drawing is drawn on one thread at a time.
#include <cstddef>
#include <optional>

namespace cad {

class MemoryBudget {
public:
    explicit MemoryBudget(std::size_t limit = 0) : limit_(limit) {}  // 0: no limit

    // Counts bytes about to be taken. False, counting nothing, when they
    // would pass the limit; the budget is then reached for good, so that
    // work after it stops rather than fits in the smaller pieces.
    bool charge(std::size_t bytes) {
        if (limit_ != 0 && (reached_ || bytes > limit_ - held_)) {
            reached_ = true;
            return false;
        }
        held_ += bytes;
        return true;
    }
    // Whether that many more bytes would fit, counting nothing.
    bool fits(std::size_t bytes) const { return limit_ == 0 || (!reached_ && bytes <= limit_ - held_); }
    // Gives back bytes counted before, once they are let go of.
    void release(std::size_t bytes) { held_ -= bytes < held_ ? bytes : held_; }

    bool reached() const { return reached_; }
    std::size_t held() const { return held_; }
    std::size_t limit() const { return limit_; }

    // The budget of the drawing this thread works on; null when none is.
    static MemoryBudget* current();

private:
    friend class MemoryScope;
    std::size_t limit_;
    std::size_t held_ = 0;
    bool reached_ = false;
};

// Makes a budget of that limit the thread's current one while it lives,
// unless one already is: work nested in a drawing's counts against the
// drawing's budget.
class MemoryScope {
public:
    explicit MemoryScope(std::size_t limit);
    ~MemoryScope();
    MemoryScope(const MemoryScope&) = delete;
    MemoryScope& operator=(const MemoryScope&) = delete;
    MemoryBudget& budget() { return *budget_; }

private:
    std::optional<MemoryBudget> own_;
    MemoryBudget* budget_;
};

// Work in progress counted against the current budget while it is held (a
// curve being flattened, a glyph being expanded), given back when done.
class HeldMemory {
public:
    HeldMemory() : budget_(MemoryBudget::current()) {}
    ~HeldMemory() {
        if (budget_) budget_->release(held_);
    }
    HeldMemory(const HeldMemory&) = delete;
    HeldMemory& operator=(const HeldMemory&) = delete;
    // Counts the work as holding that many bytes in all; false, and the
    // work should stop, when the budget refuses them.
    bool hold(std::size_t bytes) {
        if (!budget_ || bytes <= held_) return true;
        if (!budget_->charge(bytes - held_)) return false;
        held_ = bytes;
        return true;
    }

private:
    MemoryBudget* budget_;
    std::size_t held_ = 0;
};

// Gives back, when it ends, what the current budget counted while it lived:
// for work whose memory is all let go of by then (a picture made and written).
class MemoryLent {
public:
    MemoryLent() : budget_(MemoryBudget::current()), held_(budget_ ? budget_->held() : 0) {}
    ~MemoryLent() {
        if (budget_ && budget_->held() > held_) budget_->release(budget_->held() - held_);
    }
    MemoryLent(const MemoryLent&) = delete;
    MemoryLent& operator=(const MemoryLent&) = delete;

private:
    MemoryBudget* budget_;
    std::size_t held_;
};

// Counts bytes against the current budget; true when there is none.
bool chargeMemory(std::size_t bytes);
// Gives bytes counted before back to the current budget, if any.
void releaseMemory(std::size_t bytes);
// Whether the current budget, if any, has been reached.
bool memoryReached();

}  // namespace cad
