#include "table/UndoHistory.h"

namespace rasmik {

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
