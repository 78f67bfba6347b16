// Front of linkstat: the command line, the input checks, the header line and the reader that gathers
// marker sets and hands each complete set, recoded by Clean, to the pair loop.

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "linkstat.hpp"
#include "report.hpp"

int Position = 0;
int Bounds = 0;
int MxS = 2000;

namespace {

constexpr std::size_t kMaxNameLength = 511;      // -I and -O values
constexpr std::size_t kMaxMissingLength = 104;   // -R value
constexpr std::size_t kMaxLineLength = 2098;     // characters before the line break
constexpr std::size_t kMaxFieldLength = 1999;    // each of the first four fields
constexpr int kMarkerFields = 4;

struct Settings {
    HaploMode mode = HaploMode::Em;
    bool header = false;
    bool separator = false;
    bool haveInput = false;
    std::string inputName;
    bool haveOutput = false;
    std::string outputName;
    std::string missing;
};

[[noreturn]] void failInputAccess(const std::string& name) {
    fail({"\n\nCannot Access Input File " + name + "\n", "Exiting Now......\n\n"});
}

[[noreturn]] void failOptionTooLong(char letter) {
    fail({std::string("\n\nOption Value Too Long -") + letter + "\n", "Exiting Now......\n\n"});
}

std::string optionValue(const char* argument, std::size_t limit) {
    const char* value = argument + 2;
    if (std::strlen(value) > limit) failOptionTooLong(argument[1]);
    return value;
}

Settings readOptions(int argc, char** argv) {
    Settings s;
    Position = 0;
    Bounds = 0;
    for (int a = 1; a < argc; ++a) {
        const char* arg = argv[a];
        if (arg[0] != '-') continue;
        switch (arg[1]) {
            case 'A': s.mode = HaploMode::Actual; break;
            case 'B': Bounds = 1; break;
            case 'E': s.mode = HaploMode::Em; break;
            case 'H': s.header = true; break;
            case 'I': s.inputName = optionValue(arg, kMaxNameLength); s.haveInput = true; break;
            case 'K': s.mode = HaploMode::Known; break;
            case 'O': s.outputName = optionValue(arg, kMaxNameLength); s.haveOutput = true; break;
            case 'P': Position = 1; break;
            case 'R': s.missing = optionValue(arg, kMaxMissingLength); break;
            case 'S': s.separator = true; break;
            default: break;
        }
    }
    return s;
}

bool inputAccessible(const std::string& name) {
    struct stat info;
    if (stat(name.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    std::FILE* fp = std::fopen(name.c_str(), "r");
    if (!fp) return false;
    std::fclose(fp);
    return true;
}

void openReport(const Settings& s) {
    if (!s.haveOutput) {
        fpo.open(stdout, "stdout");
        return;
    }
    std::FILE* fp = std::fopen(s.outputName.c_str(), "w");
    if (!fp) fail({"\n\nCannot Access Output File " + s.outputName + "\n", "Exiting Now......\n\n"});
    fpo.open(fp, s.outputName);
}

void writeHeader() {
    fpo.put(Position ? "\t\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho" : "\t\t\t  r\t  d\t  D'\tdelta\t  Q\t rho");
    if (Bounds) fpo.put("\tLower\tUpper");
    fpo.put("\n");
}

// Reads one line into `line` (without its break). Returns false at the end of the input; sets tooLong
// when the line holds more than kMaxLineLength characters before its break.
bool readLine(std::FILE* fp, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    int ch;
    while ((ch = getc_unlocked(fp)) != EOF && ch != '\n') {
        if (line.size() == kMaxLineLength) {
            tooLong = true;
            return true;
        }
        line.push_back(static_cast<char>(ch));
    }
    return ch != EOF || !line.empty();
}

bool isFieldSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Splits off up to four white-space-separated fields and NUL-terminates each in place. The line is read
// as text: a NUL byte ends it. Returns the number of fields found.
int splitFields(std::string& line, char* fields[kMarkerFields], std::size_t lengths[kMarkerFields]) {
    char* p = line.data();
    char* end = p + std::strlen(p);
    int found = 0;
    while (found < kMarkerFields) {
        while (p < end && isFieldSpace(*p)) ++p;
        if (p == end) break;
        char* start = p;
        while (p < end && !isFieldSpace(*p)) ++p;
        fields[found] = start;
        lengths[found] = static_cast<std::size_t>(p - start);
        ++found;
        if (p < end) *p++ = '\0';
    }
    return found;
}

// The marker tables of the current set; their capacity MxS carries over from set to set.
class MarkerSet {
public:
    explicit MarkerSet(const Settings& settings) : settings_(settings) { resize(); }

    void add(double position, double ratio, const char* alleles, std::size_t length) {
        if (nMarkers_ == 0) {
            nChromosomes_ = Chromosomes(alleles);
            if (stride_ < length + 1) {
                stride_ = length + 1;
                resize();
            }
        } else if (static_cast<int>(length) != nChromosomes_) {
            failInFile(settings_.inputName, nMarkers_ + 1, "Wrong number of chromosomes\n");
        }
        positions_[nMarkers_] = position;
        ratios_[nMarkers_] = ratio;
        std::memcpy(table()[nMarkers_], alleles, length + 1);
        ++nMarkers_;
        if (nMarkers_ == MxS) {
            MxS += 1000;
            resize();
        }
    }

    // Recodes the set, writes its pair lines and the optional separator, and starts a new set.
    void complete() {
        const AlleleTable alleles = table();
        for (int m = 0; m < nMarkers_; ++m)
            Clean(alleles[m], nChromosomes_, settings_.missing.c_str(), static_cast<int>(settings_.missing.size()));
        const HaploMode mode = settings_.mode;
        Calculate_LD(nChromosomes_, nMarkers_, positions_.data(), ratios_.data(), alleles,
                     mode == HaploMode::Actual, mode == HaploMode::Em, mode == HaploMode::Known);
        nMarkers_ = 0;
        nChromosomes_ = 0;
        if (settings_.separator) fpo.put(">\n");
    }

private:
    AlleleTable table() { return AlleleTable{alleles_.data(), stride_}; }
    void resize() {
        positions_.resize(static_cast<std::size_t>(MxS));
        ratios_.resize(static_cast<std::size_t>(MxS));
        alleles_.resize(static_cast<std::size_t>(MxS) * stride_);
    }

    const Settings& settings_;
    std::vector<double> positions_, ratios_;
    std::vector<char> alleles_;
    std::size_t stride_ = 1;
    int nMarkers_ = 0;
    int nChromosomes_ = 0;
};

// Positions must be printable as an int: finite and within 0 <= position < 2^31.
bool printablePosition(double position) {
    return std::isfinite(position) && position >= 0 && position < 2147483648.0;
}

void readMarkers(const Settings& settings) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(settings.inputName.c_str(), "r"),
                                                          &std::fclose);
    if (!input) failInputAccess(settings.inputName);
    MarkerSet set(settings);
    std::string line;
    bool tooLong = false;
    int fileLine = 0;
    while (readLine(input.get(), line, tooLong)) {
        ++fileLine;
        if (tooLong) failInFile(settings.inputName, fileLine, "Line Too Long\n");
        char* fields[kMarkerFields];
        std::size_t lengths[kMarkerFields];
        const int found = splitFields(line, fields, lengths);
        for (int f = 0; f < found; ++f)
            if (lengths[f] > kMaxFieldLength) failInFile(settings.inputName, fileLine, "Field Too Long\n");
        if (found < kMarkerFields) {
            set.complete();
            continue;
        }
        const double position = std::atof(fields[0]);
        if (!printablePosition(position)) failInFile(settings.inputName, fileLine, "Bad Position\n");
        const double ratio = std::atof(fields[2]) / std::atof(fields[1]);
        set.add(position, ratio, fields[3], lengths[3]);
    }
    // A read error is not the end of the file: no set is completed from a partial read.
    if (std::ferror(input.get())) failInputAccess(settings.inputName);
    set.complete();
}

}  // namespace

int Chromosomes(const char* alleles) {
    return static_cast<int>(std::strlen(alleles));
}

void Clean(char* s, int n, const char* missing, int nMissing) {
    for (int k = 0; k < n; ++k)
        if (std::memchr(missing, s[k], static_cast<std::size_t>(nMissing))) s[k] = '-';

    char alleles[2];
    int nAlleles = 0;
    for (int k = 0; k < n; ++k) {
        const char c = s[k];
        if (c == '-' || (nAlleles > 0 && alleles[0] == c) || (nAlleles > 1 && alleles[1] == c)) continue;
        if (nAlleles == 2) fail({std::string("\n\nMore Than Two Alleles ") + s + "\n", "Exiting Now....\n\n\n"});
        alleles[nAlleles++] = c;
    }

    // "0" and "1" keep their own code; the other alleles take the free codes, "0" first.
    bool codeFree[2] = {true, true};
    for (int a = 0; a < nAlleles; ++a)
        if (alleles[a] == '0' || alleles[a] == '1') codeFree[alleles[a] - '0'] = false;
    char code[2];
    for (int a = 0; a < nAlleles; ++a) {
        if (alleles[a] == '0' || alleles[a] == '1') {
            code[a] = alleles[a];
            continue;
        }
        const int free = codeFree[0] ? 0 : 1;
        codeFree[free] = false;
        code[a] = static_cast<char>('0' + free);
    }
    for (int k = 0; k < n; ++k) {
        if (s[k] == '-') continue;
        s[k] = s[k] == alleles[0] ? code[0] : code[1];
    }
}

int linkstatMain(int argc, char** argv, Evaluation evaluation) {
    const Settings settings = readOptions(argc, argv);
    if (!settings.haveInput) fail({"\n\nNeed an Input File\n", "Exiting Now......\n\n"});
    if (!inputAccessible(settings.inputName)) failInputAccess(settings.inputName);
    openReport(settings);
    progress.start(fpo.onTerminal());
    setEvaluation(evaluation);
    if (settings.header) writeHeader();
    readMarkers(settings);
    progress.erase();
    fpo.close();
    return 0;
}
