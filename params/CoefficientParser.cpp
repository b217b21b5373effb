#include "params/CoefficientParser.h"

#include "params/NumberText.h"

namespace quiro {

namespace {
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t ShownItemLength = 32;
} // namespace

void CoefficientParser::feed(std::string_view bytes) {
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

void CoefficientParser::take(char c) {
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
            overlong_ = true;
        } else {
            item_.append(pendingBlanks_, ' ');
            item_.push_back(c);
        }
        pendingBlanks_ = 0;
    }
}

void CoefficientParser::endItem() {
    if (finished_)
        return;
    const std::string_view text = item_.empty() ? std::string_view("0") : std::string_view(item_);
    if (result_.count < 0) {
        const LongValue count = toWholeLong(text, 0, MaxCoefficients);
        if (overlong_ || count.status != NumberStatus::Ok)
            return fail(CoefficientProblem::BadCount);
        result_.count = count.value;
        result_.coefficients.reserve(static_cast<std::size_t>(count.value));
    } else {
        const SingleValue value = toSingle(text);
        if (overlong_ || value.status != NumberStatus::Ok)
            return fail(CoefficientProblem::BadCoefficient);
        result_.coefficients.push_back(value.value);
    }
    if (result_.coefficients.size() == static_cast<std::size_t>(result_.count))
        finished_ = true;
    item_.clear();
    pendingBlanks_ = 0;
    itemLine_ = line_;
}

void CoefficientParser::fail(CoefficientProblem problem) {
    result_.problem = problem;
    result_.line = itemLine_;
    result_.item = item_.substr(0, ShownItemLength);
    if (overlong_ || item_.size() > ShownItemLength)
        result_.item += "...";
    finished_ = true;
}

void CoefficientParser::finish() {
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

CoefficientResult parseCoefficients(std::string_view content) {
    CoefficientParser parser;
    parser.feed(content);
    if (!parser.finished())
        parser.finish();
    return parser.result();
}

} // namespace quiro
