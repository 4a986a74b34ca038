#include "analysis/core/nmea_reader.h"

#include <algorithm>
#include <cstring>

#include "analysis/core/text_util.h"

namespace navsift {

uint8_t NmeaChecksum(std::string_view sentence)
{
    std::size_t i = (!sentence.empty() && sentence[0] == '$') ? 1 : 0;
    uint8_t x = 0;
    for (; i < sentence.size() && sentence[i] != '*'; ++i) {
        x ^= static_cast<uint8_t>(sentence[i]);
    }
    return x;
}

int64_t read_nmea_sentence(ByteStream& in, std::string& sentence)
{
    constexpr std::size_t kMaxRead = 2047;
    const int64_t start = in.Tell();
    sentence.assign(1, '$');
    const char* p = in.Data() + in.Pos();
    std::size_t avail = in.Size() - in.Pos();
    if (avail > kMaxRead) {
        avail = kMaxRead;
    }
    const void* dollar = std::memchr(p, '$', avail);
    const std::size_t body = dollar ? static_cast<std::size_t>(static_cast<const char*>(dollar) - p) : avail;
    // Line ends inside a sentence are dropped, so a sentence may span lines.
    const char* run = p;
    const char* end = p + body;
    while (run < end) {
        const char* q = run;
        while (q < end && *q != '\r' && *q != '\n') {
            ++q;
        }
        sentence.append(run, static_cast<std::size_t>(q - run));
        while (q < end && (*q == '\r' || *q == '\n')) {
            ++q;
        }
        run = q;
    }
    in.Advance(body);
    if (dollar) {
        in.Advance(1);
        sentence += "\r\n";
    }
    return start;
}

int nmea_tokenize(std::string_view text, NmeaFields& fields)
{
    fields.Clear();
    const std::size_t at = text.find('$');
    if (at == std::string_view::npos) {
        return 1;
    }
    std::string_view s = text.substr(at);
    // One pass: the checksum of the bytes up to the "*" and the commas that
    // cut the fields.
    const std::size_t n = s.size();
    std::size_t star = std::string_view::npos;
    uint8_t sum = 0;
    uint32_t begin = 0;
    std::size_t unprintable = std::string_view::npos;
    for (std::size_t i = 1; i < n; ++i) {
        const char c = s[i];
        if (c == '*') {
            star = i;
            break;
        }
        if ((c < 0x20 || c > 0x7e) && unprintable == std::string_view::npos) {
            unprintable = i;
        }
        sum ^= static_cast<uint8_t>(c);
        if (c == ',') {
            fields.spans_.emplace_back(begin, static_cast<uint32_t>(i) - begin);
            begin = static_cast<uint32_t>(i) + 1;
        }
    }
    bool accepted = false;
    if (star != std::string_view::npos) {
        uint32_t given = 0;
        Scanner sc(s.substr(star + 1));
        accepted = sc.Hex(given, 2) && given == sum;
    }
    // The receiver's tracker sentences are taken even with a bad checksum.
    // Its time sentence is taken without one, but not when the checksum it
    // carries fails: a damaged digit of its time would be trusted.
    const bool tracker = s.find("PQNVTS") != std::string_view::npos;
    const bool timing = s.find("PQNVTG") != std::string_view::npos;
    if (!accepted && !tracker && !(timing && star == std::string_view::npos)) {
        fields.spans_.clear();
        return 1;
    }
    std::size_t end = star;
    if (star == std::string_view::npos) {
        // Without a "*" the last field runs to the line end.
        end = n;
        while (end > begin && (s[end - 1] == '\r' || s[end - 1] == '\n')) {
            --end;
        }
    }
    // Sentences are printable ASCII. A NUL leaves the checksum unchanged and
    // any such byte marks a line damaged in transit: its numbers cannot be
    // trusted, whatever the checksum says.
    if (unprintable < end) {
        fields.spans_.clear();
        return 1;
    }
    fields.spans_.emplace_back(begin, static_cast<uint32_t>(end) - begin);
    fields.text_.assign(s.substr(0, end));
    return 0;
}

SentenceCode nmea_classify(const NmeaFields& fields)
{
    static constexpr std::pair<std::string_view, SentenceCode> kNames[] = {
        {"$GPGGA", kGGA},     {"$GPRMC", kRMC},         {"$GPGSV", kGSV},       {"$GPGSA", kGSA},
        {"$GPVTG", kVTG},     {"$PQNVTG", kQnvTG},      {"$PQNVTS", kQnvTS},    {"$PQNVEPHEM", kQnvEphem},
        {"$PQNVALMANAC", kQnvAlmanac}, {"$PQNVODO", kQnvOdo},
    };
    const std::string_view name = fields.Field(0);
    for (const auto& [text, code] : kNames) {
        if (name == text) {
            return code;
        }
    }
    return kUnknownSentence;
}

int is_nmea_log(ByteStream& in)
{
    std::string sentence;
    NmeaFields fields;
    int found = 0;
    while (!in.AtEnd() && found < 6) {
        read_nmea_sentence(in, sentence);
        if (nmea_tokenize(sentence, fields) != 0) {
            continue;
        }
        const SentenceCode code = nmea_classify(fields);
        if (code == kGGA || code == kRMC) {
            ++found;
        }
    }
    in.Seek(0);
    return found >= 6 ? 0 : 1;
}

PositionTalkers position_talkers(ByteStream& in)
{
    in.Seek(0);
    std::string sentence;
    NmeaFields fields;
    PositionTalkers t;
    std::vector<std::string> others;
    while (!in.AtEnd()) {
        read_nmea_sentence(in, sentence);
        in.Forget();
        if (nmea_tokenize(sentence, fields) != 0) {
            continue;
        }
        const SentenceCode code = nmea_classify(fields);
        if (code == kGGA || code == kRMC) {
            ++t.gp;
            continue;
        }
        // "$xxGGA" or "$xxRMC" of another talker.
        const std::string_view name = fields[0];
        if (name.size() == 6 && (name.substr(3) == "GGA" || name.substr(3) == "RMC")) {
            const std::string talker(name.substr(0, 3));
            if (std::find(others.begin(), others.end(), talker) == others.end()) {
                others.push_back(talker);
            }
        }
    }
    in.Seek(0);
    for (std::size_t k = 0; k < others.size(); ++k) {
        t.others += (k == 0 ? "" : k + 1 == others.size() ? " and " : ", ") + others[k];
    }
    return t;
}

std::string why_no_fix(const PositionTalkers& t, const std::string& otherwise)
{
    if (t.gp > 0 || t.others.empty()) {
        return otherwise;
    }
    const bool several = t.others.find(' ') != std::string::npos;
    return "no $GP sentence: its positions come from the " + t.others + (several ? " talkers" : " talker") +
           ", and only $GP sentences are read";
}

}  // namespace navsift
