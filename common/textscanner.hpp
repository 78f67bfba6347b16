#pragma once
// Words and lines of the tool-chain's text files, scanned in place in a window of unread bytes.
//
// Every text format of the tool-chain separates its words by the same white space and its lines
// by "\n". What differs from program to program (how long a word or a line may be, whether a NUL
// byte ends the text of a line) is stated as TextRules; each program words its own messages from
// the token a scan returns. A scan throws nothing for the text itself: only the window's read
// errors (SystemError from fill()) pass through.
//
// A window is any object with data(), available(), consume(n) and fill() as FileReader has them:
// the unread bytes, and a fill() that appends more after them (moving them to the front of the
// buffer, which grows when they fill it) and returns false at the end of the input. StreamWindow
// makes such a window from any read function (a decompressor).

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace ldtools {

// The white space between words: the characters isspace accepts in the "C" locale (space, tab,
// line feed, vertical tab, form feed, carriage return).
constexpr bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

template <class W>
concept ByteWindow = requires(W& window, std::size_t count) {
    { window.data() } -> std::convertible_to<const char*>;
    { window.available() } -> std::convertible_to<std::size_t>;
    window.consume(count);
    { window.fill() } -> std::convertible_to<bool>;
};

// The kind of every byte for the word loops (one load and one test a byte): white space, and the
// NUL byte that may end a line's text.
inline constexpr std::uint8_t kBlankByte = 1;
inline constexpr std::uint8_t kNulByte = 2;
inline constexpr std::array<std::uint8_t, 256> kByteKinds = [] {
    std::array<std::uint8_t, 256> kinds{};
    for (int c = 0; c < 256; ++c)
        kinds[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>((isBlank(static_cast<char>(c)) ? kBlankByte : 0) |
                                                                       (c == 0 ? kNulByte : 0));
    return kinds;
}();

// The length of the word at the start of text[0, available), from `from` on: up to the first byte of
// a kind in `ends`.
inline std::size_t wordEnd(const char* text, std::size_t from, std::size_t available, std::uint8_t ends) {
    while (from < available && !(kByteKinds[static_cast<unsigned char>(text[from])] & ends)) ++from;
    return from;
}

// No limit on a word or a line.
inline constexpr std::size_t kUnlimited = ~std::size_t{0};

// What a program accepts. A word or a line longer than its limit (in bytes; a line's line break not
// counted) is reported as soon as the excess is seen, so that input without white space or line
// breaks (/dev/zero) never fills memory.
struct TextRules {
    std::size_t maxWord = kUnlimited;
    std::size_t maxLine = kUnlimited;
    // A NUL byte ends the text of its line: the rest of the line, up to its line break, is skipped.
    bool nulEndsLine = false;
};

enum class Token : std::uint8_t {
    word,         // a word (nextWord, nextWordOfLine)
    line,         // a whole line (nextLine)
    lineEnd,      // the current line has no further word (its line break, or the end of the input)
    end,          // nothing is left
    wordTooLong,  // a word exceeds maxWord; nothing of it is consumed
    lineTooLong,  // a line exceeds maxLine
};

// Scans a window in one of two ways: a stream of words in which line breaks are white space like
// any other (nextWord), or line by line (nextWordOfLine, nextLine, skipLine). A word or a line is
// returned in place: it stays valid until the next call. line() is the number (from 1) of the line
// of the last token; a line's line break is consumed only by the next line-wise call, so after
// lineEnd or a line, line() still names that line.
template <ByteWindow Window>
class TextScanner {
public:
    explicit TextScanner(Window& window, const TextRules& rules = {}) : window_(window), rules_(rules) {}

    long line() const { return line_; }

    // The next word of the stream; Token::word, end or wordTooLong. A scanner reads either a stream
    // of words or lines, not both.
    Token nextWord(std::string_view& word) {
        for (;;) {
            const char* text = window_.data();
            const std::size_t available = window_.available();
            std::size_t k = 0;
            while (k < available && isBlank(text[k])) {
                if (text[k] == '\n') ++line_;
                ++k;
            }
            window_.consume(k);
            if (k < available) break;
            if (!window_.fill()) return Token::end;
        }
        // The word may go on in the part of the input not read yet: keep it and read on.
        std::size_t length = 0;
        for (;;) {
            const std::size_t available = window_.available();
            length = wordEnd(window_.data(), length, available, kBlankByte);
            if (length > rules_.maxWord) return Token::wordTooLong;
            if (length < available || !window_.fill()) break;
        }
        word = std::string_view(window_.data(), length);
        window_.consume(length);
        return Token::word;
    }

    // The next word of the current line (the first one of the next line after lineEnd); Token::word,
    // lineEnd, end (at the start of a line, nothing left), wordTooLong or lineTooLong.
    Token nextWordOfLine(std::string_view& word) {
        leavePendingBreak();
        for (;;) {
            const char* text = window_.data();
            const std::size_t available = window_.available();
            std::size_t k = 0;
            while (k < available && text[k] != '\n' && isBlank(text[k])) ++k;
            window_.consume(k);
            lineBytes_ += k;
            if (lineBytes_ > rules_.maxLine) return Token::lineTooLong;
            if (k < available) {
                if (text[k] == '\n') {
                    pendingBreak_ = true;
                    return Token::lineEnd;
                }
                if (rules_.nulEndsLine && text[k] == '\0') return skipLine();
                break;
            }
            if (!window_.fill()) return endOfInput();
        }
        const std::uint8_t ends = rules_.nulEndsLine ? kBlankByte | kNulByte : kBlankByte;
        std::size_t length = 0;
        for (;;) {
            const std::size_t available = window_.available();
            length = wordEnd(window_.data(), length, available, ends);
            if (lineBytes_ + length > rules_.maxLine) return Token::lineTooLong;
            if (length > rules_.maxWord) return Token::wordTooLong;
            if (length < available || !window_.fill()) break;
        }
        word = std::string_view(window_.data(), length);
        window_.consume(length);
        lineBytes_ += length;
        return Token::word;
    }

    // Skips the rest of the current line without keeping it; Token::lineEnd, end (at the start of
    // the input, nothing left) or lineTooLong.
    Token skipLine() {
        if (pendingBreak_) return Token::lineEnd;
        for (;;) {
            const char* text = window_.data();
            const std::size_t available = window_.available();
            const void* found = std::memchr(text, '\n', available);
            const std::size_t k = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : available;
            window_.consume(k);
            lineBytes_ += k;
            if (lineBytes_ > rules_.maxLine) return Token::lineTooLong;
            if (found) {
                pendingBreak_ = true;
                return Token::lineEnd;
            }
            if (!window_.fill()) return endOfInput();
        }
    }

    // True when the current line is over or its line break is already in the window: skipLine() then
    // reads nothing more, and the last word stays valid.
    bool lineEndsInWindow() const {
        return pendingBreak_ || std::memchr(window_.data(), '\n', window_.available()) != nullptr;
    }

    // The next line (the rest of the current one when words of it were taken) without its line
    // break; Token::line, end or lineTooLong. A last line without a line break counts.
    Token nextLine(std::string_view& line) {
        leavePendingBreak();
        std::size_t searched = 0;
        for (;;) {
            const char* text = window_.data();
            const std::size_t available = window_.available();
            const void* found = std::memchr(text + searched, '\n', available - searched);
            const std::size_t length =
                found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : available;
            if (lineBytes_ + length > rules_.maxLine) return Token::lineTooLong;
            if (found) {
                pendingBreak_ = true;
                return takeLine(line, length);
            }
            searched = available;
            if (!window_.fill()) {
                if (window_.available() == 0 && lineBytes_ == 0) return Token::end;
                const Token token = takeLine(line, window_.available());
                lineBytes_ = 0;  // the last line is over: the next call finds nothing
                return token;
            }
        }
    }

private:
    // Moves past the line break that ended the current line: the next line begins.
    void leavePendingBreak() {
        if (!pendingBreak_) return;
        window_.consume(1);
        ++line_;
        lineBytes_ = 0;
        pendingBreak_ = false;
    }

    // The input ends: a line with bytes in it ends (the next call finds nothing), else nothing is left.
    Token endOfInput() {
        if (lineBytes_ == 0) return Token::end;
        lineBytes_ = 0;
        return Token::lineEnd;
    }

    Token takeLine(std::string_view& line, std::size_t length) {
        line = std::string_view(window_.data(), length);
        window_.consume(length);
        lineBytes_ += length;
        return Token::line;
    }

    Window& window_;
    TextRules rules_;
    long line_ = 1;
    std::size_t lineBytes_ = 0;  // bytes of the current line consumed so far
    bool pendingBreak_ = false;  // the current line's line break is the next unread byte
};

// A window over any read(into, room) function that returns up to room bytes and 0 at the end (a
// decompressor, for example); errors are the read function's to throw.
class StreamWindow {
public:
    using Read = std::function<std::size_t(char* into, std::size_t room)>;
    explicit StreamWindow(Read read, std::size_t bufferSize = std::size_t{1} << 16);

    const char* data() const { return buffer_.data() + pos_; }
    std::size_t available() const { return end_ - pos_; }
    void consume(std::size_t count) { pos_ += count; }
    // Reads more after the unread bytes, which move to the front of the buffer; the buffer doubles
    // when they fill it. False at the end of the input (nothing was added).
    bool fill();

private:
    Read read_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
};

// The words of a line held in memory.
std::vector<std::string_view> splitWords(std::string_view line);

// text without the characters of blanks at either end.
std::string_view trimmed(std::string_view text, std::string_view blanks);

}  // namespace ldtools
