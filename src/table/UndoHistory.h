#pragma once
// The steps that can be taken back and made again, and where the grid was
// last clean (as loaded or saved). A step keeps only what its change needs
// to be reversed (the cells it changed, a removed row, a move's two places),
// never a copy of the grid.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace rasmik {

// One change. undo runs on the grid as the change left it, redo on the grid
// as it was before the change; each also puts the cursor where the change was.
struct UndoStep {
    std::function<void()> undo;
    std::function<void()> redo;
    // Memory the step holds, for the history's limit.
    std::size_t bytes = 0;
    // The command that made it ("Insert Row"), for the Edit menu to name.
    std::string name = {};
};

// Steps made as one change: undone last first, made again first first;
// afterUndo and afterRedo (when given) run once the parts have.
UndoStep CompoundStep(std::vector<UndoStep> parts, std::function<void()> afterUndo = {},
                      std::function<void()> afterRedo = {});

class UndoHistory {
public:
    // Past this many bytes the oldest steps are dropped.
    static constexpr std::size_t DefaultByteLimit = std::size_t{256} << 20;

    explicit UndoHistory(std::size_t byteLimit = DefaultByteLimit) : limit_(byteLimit) { }

    // Forgets every step. clean: whether the grid now is a clean point.
    void clear(bool clean);
    // A change was made: steps undone before it can no longer be redone.
    void push(UndoStep step);
    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < steps_.size(); }
    // The names of the steps undo and redo would take; empty when none.
    const std::string& undoName() const { return canUndo() ? steps_[index_ - 1].name : noName_; }
    const std::string& redoName() const { return canRedo() ? steps_[index_].name : noName_; }
    // False when there is nothing to undo or redo.
    bool undo();
    bool redo();

    // The grid now is as saved.
    void markClean() { clean_ = index_; }
    // No state of the history is as saved any more.
    void markNeverClean() { clean_ = Never; }
    // Whether the grid is as loaded or last saved.
    bool isClean() const { return clean_ == index_; }

    std::size_t size() const { return steps_.size(); }
    std::size_t bytes() const { return bytes_; }

private:
    static constexpr std::size_t Never = static_cast<std::size_t>(-1);
    void dropOldest();

    std::deque<UndoStep> steps_;
    // Steps [0, index_) are done, [index_, size) undone.
    std::size_t index_ = 0;
    // The index at which the grid is clean, or Never once that state is gone.
    std::size_t clean_ = 0;
    std::size_t bytes_ = 0;
    std::size_t limit_;
    std::string noName_;
};

} // namespace rasmik
