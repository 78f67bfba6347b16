#pragma once
// The records of an LD bounds file, in any of its three forms: plain text, gzip, or the indexed
// form (BGZF with the header line "#chrom\tpos1\tpos2\tlower\tupper" and a chromosome field in
// front of every record). The form is recognised by content.
//
// Bounds are kept as whole hundredths: every bound must be one of 0, 0.01, ..., 1 (the grid
// linkstat computes them on), which is what lets a view store them without loss.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "source.hpp"

namespace ldview {

// A record with its bounds in hundredths (0 to 100).
struct PairRecord {
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::uint8_t lower = 0;
    std::uint8_t upper = 0;
};

// The bound a text names, in hundredths, when it is a finite number equal to a whole number of
// hundredths from 0 to 1 (as a double: "0.7", "0.700" and "7e-1" all are); -1 otherwise, and -2
// when it is not a number at all.
int hundredthsOf(std::string_view word);

// Reads the records one after the other. Every problem is thrown as ldtools::Error with ldview's
// complete message: the file, the line and the reason.
class BoundsInput {
public:
    explicit BoundsInput(const std::string& name);

    // The next record; false at the end of the file.
    bool next(PairRecord& record);

    // True for the indexed form.
    bool indexed() const { return indexed_; }
    // The chromosome of the indexed form's records (empty before the first, and for other forms).
    const std::string& chromosome() const { return chromosome_; }

private:
    // A record alone on a whole line of the buffer, in the usual shape, read in place; false, with
    // nothing read, for anything else (which the word-by-word reader then reads, or reports).
    bool nextLine(PairRecord& record);
    bool nextWord(std::string_view& word);
    std::int32_t position(std::string_view word);
    std::uint8_t bound(std::string_view word, const char* which);
    void checkOrder(const PairRecord& record);
    [[noreturn]] void fail(const std::string& reason) const;
    [[noreturn]] void readFailed(const SourceError& error) const;
    [[noreturn]] void malformed() const;

    std::string name_;
    std::unique_ptr<SourceBuffer> buffer_;
    bool indexed_ = false;
    std::string chromosome_;
    long line_ = 1;        // line of the next unread byte
    long recordLine_ = 1;  // line on which the current record begins
    bool havePrevious_ = false;
    PairRecord previous_;
};

}  // namespace ldview
