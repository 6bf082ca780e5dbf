#include "ComtradeReader.h"

#include <cstring>
#include <stdexcept>

namespace ComtradeTest {
namespace {

[[noreturn]] void malformed(const std::string& what) { throw std::runtime_error("malformed COMTRADE: " + what); }

double toReal(const std::string& text, const std::string& what) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        malformed(what + " '" + text + "' is not a number");
    }
    if (used != text.size()) malformed(what + " '" + text + "' is not a number");
    return value;
}

long toInteger(const std::string& text, const std::string& what) {
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception&) {
        malformed(what + " '" + text + "' is not an integer");
    }
    if (used != text.size()) malformed(what + " '" + text + "' is not an integer");
    return value;
}

std::vector<std::string> fieldsOf(const std::vector<std::string>& lines, std::size_t line, std::size_t count) {
    if (line >= lines.size()) malformed("configuration ends before line " + std::to_string(line + 1));
    std::vector<std::string> fields = splitFields(lines[line]);
    if (fields.size() != count) {
        malformed("configuration line " + std::to_string(line + 1) + " has " + std::to_string(fields.size()) +
                  " fields, expected " + std::to_string(count));
    }
    return fields;
}

// "##A" / "##D" of the second line.
long channelCount(const std::string& field, char kind) {
    if (field.empty() || field.back() != kind) malformed("channel count '" + field + "' lacks " + kind);
    return toInteger(field.substr(0, field.size() - 1), "channel count");
}

Configuration parseConfiguration(const std::string& text) {
    Configuration cfg;
    cfg.lines = splitCrLfLines(text);
    const auto& lines = cfg.lines;
    std::size_t line = 0;
    auto header = fieldsOf(lines, line++, 3);
    cfg.stationName = header[0];
    cfg.deviceId = header[1];
    cfg.revisionYear = toInteger(header[2], "rev_year");
    if (cfg.revisionYear != 1999 && cfg.revisionYear != 2013) malformed("rev_year " + header[2]);

    auto counts = fieldsOf(lines, line++, 3);
    cfg.totalChannels = toInteger(counts[0], "TT");
    const long analogCount = channelCount(counts[1], 'A');
    const long statusCount = channelCount(counts[2], 'D');
    if (analogCount + statusCount != cfg.totalChannels) malformed("TT differs from ##A + ##D");

    for (long c = 0; c < analogCount; ++c) {
        auto f = fieldsOf(lines, line++, 13);
        AnalogDefinition d;
        d.index = toInteger(f[0], "An");
        d.id = f[1];
        d.phase = f[2];
        d.ccbm = f[3];
        d.unit = f[4];
        d.a = toReal(f[5], "a");
        d.b = toReal(f[6], "b");
        d.skew = toReal(f[7], "skew");
        d.min = toReal(f[8], "min");
        d.max = toReal(f[9], "max");
        d.primary = toReal(f[10], "primary");
        d.secondary = toReal(f[11], "secondary");
        d.primarySecondary = f[12];
        if (d.index != c + 1) malformed("analog channel index " + f[0]);
        cfg.analog.push_back(d);
    }
    for (long c = 0; c < statusCount; ++c) {
        auto f = fieldsOf(lines, line++, 5);
        StatusDefinition d;
        d.index = toInteger(f[0], "Dn");
        d.id = f[1];
        d.phase = f[2];
        d.ccbm = f[3];
        d.normalState = toInteger(f[4], "y");
        if (d.index != c + 1) malformed("status channel index " + f[0]);
        cfg.status.push_back(d);
    }
    cfg.lineFrequency = toReal(fieldsOf(lines, line++, 1)[0], "lf");
    cfg.rateCount = toInteger(fieldsOf(lines, line++, 1)[0], "nrates");
    if (cfg.rateCount != 1) malformed("expected one sample rate");
    auto rate = fieldsOf(lines, line++, 2);
    cfg.sampleRate = toReal(rate[0], "samp");
    cfg.endSample = toInteger(rate[1], "endsamp");
    const auto start = fieldsOf(lines, line++, 2);
    cfg.startTime = start[0] + "," + start[1];
    const auto trigger = fieldsOf(lines, line++, 2);
    cfg.triggerTime = trigger[0] + "," + trigger[1];
    cfg.fileType = fieldsOf(lines, line++, 1)[0];
    cfg.timeMultiplier = toReal(fieldsOf(lines, line++, 1)[0], "timemult");
    if (cfg.revisionYear == 2013) {
        const auto zone = fieldsOf(lines, line++, 2);
        cfg.timeCode = zone[0];
        cfg.localCode = zone[1];
        const auto quality = fieldsOf(lines, line++, 2);
        cfg.timeQuality = quality[0];
        cfg.leapSecond = quality[1];
    }
    if (line != lines.size()) malformed("extra configuration lines");
    return cfg;
}

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::vector<DataRecord> parseBinary(const Configuration& cfg, const std::string& bytes) {
    const std::size_t analogWidth = cfg.fileType == "BINARY" ? 2 : 4;
    const std::size_t statusWords = (cfg.status.size() + 15) / 16;
    const std::size_t recordSize = 8 + analogWidth * cfg.analog.size() + 2 * statusWords;
    if (bytes.size() % recordSize != 0) malformed("data size is not a whole number of records");
    std::vector<DataRecord> records;
    for (std::size_t at = 0; at < bytes.size();) {
        DataRecord r;
        r.sampleNumber = littleEndian(bytes, at, 4);
        r.timestamp = littleEndian(bytes, at + 4, 4);
        at += 8;
        for (std::size_t c = 0; c < cfg.analog.size(); ++c, at += analogWidth) {
            const std::uint32_t word = littleEndian(bytes, at, analogWidth);
            double x = 0;
            if (cfg.fileType == "BINARY") {
                x = word >= 0x8000u ? static_cast<double>(word) - 65536.0 : static_cast<double>(word);
            } else if (cfg.fileType == "BINARY32") {
                x = word >= 0x80000000u ? static_cast<double>(word) - 4294967296.0 : static_cast<double>(word);
            } else {
                float f = 0;
                std::memcpy(&f, &word, sizeof f);
                x = static_cast<double>(f);
            }
            r.raw.push_back(x);
        }
        for (std::size_t w = 0; w < statusWords; ++w, at += 2) {
            const std::uint32_t word = littleEndian(bytes, at, 2);
            for (std::size_t j = 0; j < 16 && 16 * w + j < cfg.status.size(); ++j) {
                r.status.push_back(static_cast<int>((word >> j) & 1u));
            }
        }
        records.push_back(r);
    }
    return records;
}

std::vector<DataRecord> parseAscii(const Configuration& cfg, const std::string& text) {
    std::vector<DataRecord> records;
    for (const std::string& line : splitCrLfLines(text)) {
        const auto f = splitFields(line);
        if (f.size() != 2 + cfg.analog.size() + cfg.status.size()) malformed("data line '" + line + "'");
        DataRecord r;
        r.sampleNumber = static_cast<std::uint32_t>(toInteger(f[0], "n"));
        r.timestamp = static_cast<std::uint32_t>(toInteger(f[1], "timestamp"));
        for (std::size_t c = 0; c < cfg.analog.size(); ++c) r.raw.push_back(toReal(f[2 + c], "analog value"));
        for (std::size_t c = 0; c < cfg.status.size(); ++c) {
            const long bit = toInteger(f[2 + cfg.analog.size() + c], "status value");
            if (bit != 0 && bit != 1) malformed("status value in '" + line + "'");
            r.status.push_back(static_cast<int>(bit));
        }
        records.push_back(r);
    }
    return records;
}

Comtrade parse(const std::string& cfgText, const std::string& datBytes) {
    Comtrade result;
    result.cfg = parseConfiguration(cfgText);
    const std::string& type = result.cfg.fileType;
    if (type == "ASCII") {
        result.records = parseAscii(result.cfg, datBytes);
    } else if (type == "BINARY" || type == "BINARY32" || type == "FLOAT32") {
        result.records = parseBinary(result.cfg, datBytes);
    } else {
        malformed("file type " + type);
    }
    for (DataRecord& r : result.records) {
        for (std::size_t c = 0; c < r.raw.size(); ++c) {
            r.values.push_back(result.cfg.analog[c].a * r.raw[c] + result.cfg.analog[c].b);
        }
    }
    return result;
}

}  // namespace

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<std::string> splitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find("\r\n", begin);
        if (end == std::string::npos) malformed("text does not end with CRLF");
        std::string line = text.substr(begin, end - begin);
        if (line.find_first_of("\r\n") != std::string::npos) malformed("bare CR or LF in '" + line + "'");
        lines.push_back(line);
        begin = end + 2;
    }
    return lines;
}

Comtrade readPair(const std::string& cfgText, const std::string& datBytes) { return parse(cfgText, datBytes); }

// Sections in the order CFG, INF, HDR, DAT, each behind a "--- file type: ... ---"
// line; a binary DAT section states its byte count in its header.
Comtrade readSingleFile(const std::string& cffBytes) {
    const std::string prefix = "--- file type: ";
    std::string sections[3];
    const char* names[3] = {"CFG", "INF", "HDR"};
    std::size_t at = 0;
    for (int s = 0; s < 3; ++s) {
        const std::string header = prefix + names[s] + " ---\r\n";
        if (cffBytes.compare(at, header.size(), header) != 0) malformed(std::string("missing ") + names[s] + " header");
        at += header.size();
        const std::size_t next = cffBytes.find("\r\n" + prefix, at - 2);
        if (next == std::string::npos) malformed(std::string("no section after ") + names[s]);
        sections[s] = cffBytes.substr(at, next + 2 - at);
        at = next + 2;
    }
    const std::size_t headerEnd = cffBytes.find("\r\n", at);
    if (headerEnd == std::string::npos) malformed("no DAT header");
    const std::string datHeader = cffBytes.substr(at, headerEnd - at);
    const std::string data = cffBytes.substr(headerEnd + 2);
    const Configuration cfg = parseConfiguration(sections[0]);
    if (cfg.fileType == "ASCII") {
        if (datHeader != prefix + "DAT ASCII ---") malformed("DAT header '" + datHeader + "'");
    } else {
        const std::string expected = prefix + "DAT " + cfg.fileType + ": " + std::to_string(data.size()) + " ---";
        if (datHeader != expected) malformed("DAT header '" + datHeader + "', expected '" + expected + "'");
    }
    return parse(sections[0], data);
}

}  // namespace ComtradeTest
