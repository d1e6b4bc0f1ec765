#include "table/UndoHistory.h"

#include <memory>

namespace rasmik {

UndoStep CompoundStep(std::vector<UndoStep> parts, std::function<void()> after)
{
    std::size_t bytes = 0;
    for (const UndoStep& p : parts)
        bytes += p.bytes;
    auto held = std::make_shared<std::vector<UndoStep>>(std::move(parts));
    auto then = std::make_shared<std::function<void()>>(std::move(after));
    return UndoStep{[held, then] {
                        for (auto it = held->rbegin(); it != held->rend(); ++it)
                            it->undo();
                        if (*then)
                            (*then)();
                    },
                    [held, then] {
                        for (UndoStep& p : *held)
                            p.redo();
                        if (*then)
                            (*then)();
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
