#pragma once
// Reading the records of an LD bounds file: four white-space-separated numbers each
// (first position, second position, lower bound, upper bound), in ascending order of
// (first position, second position).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct BoundsRecord {
    int32_t first = 0;
    int32_t second = 0;
    double lower = 0.0;
    double upper = 0.0;
};

// Told how far the reading of a bounds file has got.
class ReadObserver {
public:
    virtual ~ReadObserver() = default;
    // Called after each block read from the file; total is 0 when the size is unknown (a pipe).
    virtual void bytesRead(uint64_t done, uint64_t total) = 0;
    // Called when reading ends, and before any error message is written.
    virtual void finished() = 0;
};

// One word of a bounds file as a position: an optional sign and decimal digits, within 32 bits.
bool parsePosition(std::string_view word, int32_t& value);
// One word as a bound: a finite decimal number (optional sign, digits with an optional point
// and exponent). The value is the one strtod gives for the same text.
bool parseBound(std::string_view word, double& value);

// Reads the records of a bounds file one after the other. Any problem with the file (it cannot
// be opened or read, a record is malformed or out of order) is reported on standard error and
// ends the process with status 1.
class BoundsFileReader {
public:
    explicit BoundsFileReader(std::string name, ReadObserver* observer = nullptr);
    ~BoundsFileReader();
    BoundsFileReader(const BoundsFileReader&) = delete;
    BoundsFileReader& operator=(const BoundsFileReader&) = delete;

    // The next record; false at the end of the file.
    bool next(BoundsRecord& record);
    const std::string& name() const { return name_; }
    // Size of the file in bytes when it is a regular file, else 0.
    uint64_t size() const { return size_; }

    [[noreturn]] void fail(const std::string& message);

private:
    bool nextWord(std::string_view& word);
    bool refill();
    void checkOrder(const BoundsRecord& record);
    [[noreturn]] void failMalformed();

    std::string name_;
    ReadObserver* observer_;
    int fd_ = -1;
    uint64_t size_ = 0;       // of a regular file, else 0
    uint64_t consumed_ = 0;   // bytes read from the file so far
    std::vector<char> buffer_;
    size_t pos_ = 0;          // next unread byte in buffer_
    size_t end_ = 0;          // end of the valid bytes in buffer_
    bool eof_ = false;
    long line_ = 1;           // line of the byte at pos_
    long recordLine_ = 1;     // line on which the current record begins
    bool havePrevious_ = false;
    BoundsRecord previous_;
};
