#include "coeffile/CoefficientParser.h"

#include "coeffile/ShownText.h"

#include "coeffile/NumberText.h"

namespace quiro {

namespace {
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t ShownItemLength = 32;

SingleValue toValue(std::string_view text, float) { return toSingle(text); }
DoubleValue toValue(std::string_view text, double) { return toDouble(text); }
} // namespace

template <typename Value>
void BasicCoefficientParser<Value>::feed(std::string_view bytes) {
    for (char c : bytes) {
        if (finished_)
            return;
        if (!bomDone_) {
            if (c == ByteOrderMark[bomMatched_]) {
                if (++bomMatched_ == ByteOrderMark.size())
                    bomDone_ = true;
                continue;
            }
            // Not a byte-order mark after all: the bytes matched so far are content.
            bomDone_ = true;
            for (std::size_t i = 0; i < bomMatched_; ++i)
                take(ByteOrderMark[i]);
        }
        take(c);
    }
}

template <typename Value>
void BasicCoefficientParser<Value>::take(char c) {
    if (finished_)
        return;
    if (c == '\n' && afterCR_) {
        afterCR_ = false; // the LF of a CR LF pair: the CR has ended the line already
        return;
    }
    afterCR_ = false;
    if (c == ',') {
        lineOpen_ = true;
        endItem();
    } else if (c == '\n' || c == '\r') {
        endItem(); // a blank line ends an empty item
        afterCR_ = c == '\r';
        lineOpen_ = false;
        ++line_;
        itemLine_ = line_;
    } else if (c == ' ' || c == '\t') {
        lineOpen_ = true;
        if (!item_.empty())
            ++pendingBlanks_;
    } else {
        lineOpen_ = true;
        if (item_.size() + pendingBlanks_ + 1 > MaxItemLength) {
            // Longer than any number: no need to read the rest of it.
            return fail(result_.count < 0 ? CoefficientProblem::BadCount
                                          : CoefficientProblem::BadCoefficient,
                        true);
        }
        item_.append(pendingBlanks_, ' ');
        item_.push_back(c);
        pendingBlanks_ = 0;
    }
}

template <typename Value>
void BasicCoefficientParser<Value>::endItem() {
    if (finished_)
        return;
    const std::string_view text = item_.empty() ? std::string_view("0") : std::string_view(item_);
    if (result_.count < 0) {
        const LongValue count = toWholeLong(text, 0, maxCount_);
        if (count.status != NumberStatus::Ok)
            return fail(CoefficientProblem::BadCount);
        result_.count = count.value;
        result_.coefficients.reserve(static_cast<std::size_t>(count.value));
    } else {
        const auto value = toValue(text, Value{});
        if (value.status != NumberStatus::Ok)
            return fail(CoefficientProblem::BadCoefficient);
        result_.coefficients.push_back(value.value);
    }
    if (result_.coefficients.size() == static_cast<std::size_t>(result_.count))
        finished_ = true;
    item_.clear();
    pendingBlanks_ = 0;
    itemLine_ = line_;
}

template <typename Value>
void BasicCoefficientParser<Value>::fail(CoefficientProblem problem, bool overlong) {
    result_.problem = problem;
    result_.line = itemLine_;
    result_.item = item_.substr(0, ShownItemLength);
    if (overlong || item_.size() > ShownItemLength)
        result_.item += "...";
    finished_ = true;
}

template <typename Value>
void BasicCoefficientParser<Value>::finish() {
    if (!bomDone_) {
        bomDone_ = true;
        for (std::size_t i = 0; i < bomMatched_; ++i)
            take(ByteOrderMark[i]);
    }
    // A last line without a line end still holds an item.
    if (lineOpen_)
        endItem();
    if (finished_)
        return;
    fail(result_.count < 0 ? CoefficientProblem::NoCount : CoefficientProblem::EndsEarly);
}

template class BasicCoefficientParser<float>;
template class BasicCoefficientParser<double>;

std::string describeProblem(CoefficientProblem problem, const std::string &item, std::int32_t count,
                            std::size_t read, std::int32_t maxCount) {
    switch (problem) {
    case CoefficientProblem::None:
        return {};
    case CoefficientProblem::NoCount:
        return "the file holds no coefficient count";
    case CoefficientProblem::BadCount:
        return "the count \"" + shownText(item) + "\" is not a whole number from 0 to " + std::to_string(maxCount);
    case CoefficientProblem::BadCoefficient:
        return "the coefficient \"" + shownText(item) + "\" is not a number or is too large";
    case CoefficientProblem::EndsEarly:
        return "the file ends after " + std::to_string(read) + " of " + std::to_string(count) +
               " coefficients";
    }
    return {};
}

} // namespace quiro
