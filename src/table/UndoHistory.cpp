#include "table/UndoHistory.h"

#include <memory>

namespace rasmik {

UndoStep CompoundStep(std::vector<UndoStep> parts, std::function<void()> afterUndo, std::function<void()> afterRedo)
{
    std::size_t bytes = 0;
    for (const UndoStep& p : parts)
        bytes += p.bytes;
    auto held = std::make_shared<std::vector<UndoStep>>(std::move(parts));
    return UndoStep{[held, afterUndo = std::move(afterUndo)] {
                        for (auto it = held->rbegin(); it != held->rend(); ++it)
                            it->undo();
                        if (afterUndo)
                            afterUndo();
                    },
                    [held, afterRedo = std::move(afterRedo)] {
                        for (UndoStep& p : *held)
                            p.redo();
                        if (afterRedo)
                            afterRedo();
                    },
                    bytes};
}

void UndoHistory::clear(bool clean)
{
    steps_.clear();
    index_ = 0;
    bytes_ = 0;
    clean_ = clean ? 0 : Never;
}

void UndoHistory::push(UndoStep step)
{
    while (steps_.size() > index_) {
        bytes_ -= steps_.back().bytes;
        steps_.pop_back();
    }
    // The clean state was among the steps just dropped: it cannot come back.
    if (clean_ != Never && clean_ > index_)
        clean_ = Never;
    bytes_ += step.bytes;
    steps_.push_back(std::move(step));
    ++index_;
    while (bytes_ > limit_ && steps_.size() > 1)
        dropOldest();
}

void UndoHistory::dropOldest()
{
    bytes_ -= steps_.front().bytes;
    steps_.pop_front();
    --index_;
    if (clean_ != Never)
        clean_ = clean_ == 0 ? Never : clean_ - 1;
}

bool UndoHistory::undo()
{
    if (!canUndo())
        return false;
    --index_;
    steps_[index_].undo();
    return true;
}

bool UndoHistory::redo()
{
    if (!canRedo())
        return false;
    steps_[index_].redo();
    ++index_;
    return true;
}

} // namespace rasmik
