#include "image/job_file.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "common/file_io.h"
#include "common/sha256.h"
#include "common/text_case.h"
#include "common/utf8_text.h"
#include "image/open_image.h"

const char kJobExtension[] = ".pgjob";

namespace {

using nlohmann::json;

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// 48 bytes a line: 64 characters, so an editor shows the image as a block.
constexpr size_t kBase64LineBytes = 48;

std::string Base64(const uint8_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; i += 3) {
        const uint32_t v = uint32_t{p[i]} << 16 | (i + 1 < n ? uint32_t{p[i + 1]} << 8 : 0) |
                           (i + 2 < n ? p[i + 2] : 0);
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += i + 1 < n ? kBase64[v >> 6 & 63] : '=';
        out += i + 2 < n ? kBase64[v & 63] : '=';
    }
    return out;
}

// Strict: only whole groups, padding only at the end of the last one.
bool AppendBase64(const std::string& text, bool last, std::vector<uint8_t>& out) {
    if (text.size() % 4) return false;
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t v = 0;
        int pad = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            int d = -1;
            if (c == '=') {
                if (k < 2 || !last || i + 4 != text.size()) return false;
                ++pad;
                d = 0;
            } else {
                if (pad) return false;
                const char* hit = c ? std::char_traits<char>::find(kBase64, 64, c) : nullptr;
                if (!hit) return false;
                d = static_cast<int>(hit - kBase64);
            }
            v = v << 6 | static_cast<uint32_t>(d);
        }
        out.push_back(static_cast<uint8_t>(v >> 16));
        if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
        if (pad < 1) out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

json ImageLines(const std::vector<uint8_t>& image) {
    json lines = json::array();
    for (size_t i = 0; i < image.size(); i += kBase64LineBytes)
        lines.push_back(Base64(image.data() + i, std::min(kBase64LineBytes, image.size() - i)));
    return lines;
}

json JobObject(const JobFile& job) {
    json j;
    j["format"] = kJobFormat;
    j["name"] = RepairUtf8(job.strName);
    j["made"] = RepairUtf8(job.strMade);
    j["body"] = RepairUtf8(job.strBody);
    j["image_file"] = RepairUtf8(job.strImageName);
    j["image_size"] = job.image.size();
    j["image"] = ImageLines(job.image);
    j["checksum"] = RepairUtf8(job.strChecksum);
    j["auto"] = {{"blank", job.bBlank},
                 {"program", job.bProgram},
                 {"verify", job.bVerify},
                 {"lock", job.bLock}};
    j["check_id"] = job.bCheckId;
    j["serial"] = {
        {"enabled", job.bSerial},
        {"addresses",
         {job.nSerialAddr[0], job.nSerialAddr[1], job.nSerialAddr[2], job.nSerialAddr[3]}}};
    j["lot"] = job.bAskLot;
    return j;
}

// The field names in the order a person reads them; the seal does not depend on it.
const char* const kFieldOrder[] = {"format",   "name",       "made",       "body",
                                   "checksum", "auto",       "check_id",   "serial",
                                   "lot",      "image_file", "image_size", "image"};

bool GetText(const json& j, const char* key, size_t maxChars, std::string& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return false;
    out = it->get_ref<const std::string&>();
    return Utf8CharacterCount(out) <= maxChars;
}

bool GetBool(const json& j, const char* key, bool& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

bool GetUnsigned(const json& j, const char* key, uint64_t max, uint64_t& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number_unsigned()) return false;
    out = it->get<uint64_t>();
    return out <= max;
}

bool ReadJobObject(const json& j, JobFile& job) {
    if (!j.is_object() || j.size() != sizeof kFieldOrder / sizeof kFieldOrder[0]) return false;
    uint64_t size = 0;
    if (!GetText(j, "name", kMaxJobNameChars, job.strName) || job.strName.empty() ||
        !GetText(j, "made", 40, job.strMade) || !GetText(j, "body", 15, job.strBody) ||
        job.strBody.empty() || !GetText(j, "image_file", 260, job.strImageName) ||
        !GetText(j, "checksum", 5, job.strChecksum) ||
        !GetUnsigned(j, "image_size", kMaxJobImageBytes, size) ||
        !GetBool(j, "check_id", job.bCheckId) || !GetBool(j, "lot", job.bAskLot))
        return false;
    const auto steps = j.find("auto");
    if (steps == j.end() || !steps->is_object() || steps->size() != 4 ||
        !GetBool(*steps, "blank", job.bBlank) || !GetBool(*steps, "program", job.bProgram) ||
        !GetBool(*steps, "verify", job.bVerify) || !GetBool(*steps, "lock", job.bLock))
        return false;
    const auto serial = j.find("serial");
    if (serial == j.end() || !serial->is_object() || serial->size() != 2 ||
        !GetBool(*serial, "enabled", job.bSerial))
        return false;
    const auto addr = serial->find("addresses");
    if (addr == serial->end() || !addr->is_array() || addr->size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        const json& a = (*addr)[i];
        if (!a.is_number_unsigned() || a.get<uint64_t>() > 0xFFFFFFFFu) return false;
        job.nSerialAddr[i] = static_cast<uint32_t>(a.get<uint64_t>());
    }
    const auto lines = j.find("image");
    if (lines == j.end() || !lines->is_array()) return false;
    job.image.clear();
    for (size_t i = 0; i < lines->size(); ++i) {
        const json& line = (*lines)[i];
        if (!line.is_string() || job.image.size() > size) return false;
        if (!AppendBase64(line.get_ref<const std::string&>(), i + 1 == lines->size(), job.image))
            return false;
    }
    return job.image.size() == size && !job.image.empty();
}

bool MatchesKey(const std::string& section, const std::string& key, const char* s, const char* k) {
    return EqualsNoCase(section, s) && EqualsNoCase(key, k);
}

}  // namespace

std::string JobSealText(const JobFile& job) {
    // nlohmann's object keeps its keys sorted; dump() writes no blanks and
    // escapes only what JSON requires.
    return JobObject(job).dump(-1, ' ', false, json::error_handler_t::replace);
}

bool SealJob(JobFile& job) {
    job.strSeal = Sha256Hex(JobSealText(job));
    job.strCode = UpperAscii(job.strSeal.substr(0, kJobCodeDigits));
    return !job.strSeal.empty();
}

std::string FormatJobFile(JobFile& job) {
    if (!SealJob(job)) return std::string();
    const json sorted = JobObject(job);
    nlohmann::ordered_json fields;
    for (const char* key : kFieldOrder) fields[key] = sorted.at(key);
    nlohmann::ordered_json file;
    file["job"] = fields;
    file["seal"] = job.strSeal;
    return file.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

JobParse ParseJobFile(const std::string& text, JobFile& job) {
    if (text.size() > kMaxJobFileBytes) return JobParse::kDamaged;
    const json file = json::parse(text, nullptr, false);
    if (file.is_discarded() || !file.is_object() || file.size() != 2) return JobParse::kDamaged;
    const auto content = file.find("job");
    const auto seal = file.find("seal");
    if (content == file.end() || seal == file.end() || !seal->is_string() || !content->is_object())
        return JobParse::kDamaged;
    const auto format = content->find("format");
    if (format == content->end() || !format->is_number_unsigned()) return JobParse::kDamaged;
    if (format->get<uint64_t>() > static_cast<uint64_t>(kJobFormat)) return JobParse::kNewFormat;
    if (format->get<uint64_t>() != static_cast<uint64_t>(kJobFormat)) return JobParse::kDamaged;
    JobFile read;
    if (!ReadJobObject(*content, read)) return JobParse::kDamaged;
    // The text hashed is rebuilt from what was read, so nothing the reader
    // takes can differ from what the seal covers.
    if (JobSealText(read) != content->dump(-1, ' ', false, json::error_handler_t::replace))
        return JobParse::kDamaged;
    if (!SealJob(read) || read.strSeal != seal->get_ref<const std::string&>())
        return JobParse::kDamaged;
    job = std::move(read);
    return JobParse::kOk;
}

std::string JobDamagedText(const std::string& path) {
    return "The job file " + path + " has been changed or is damaged.";
}

bool IsJobPath(const std::string& path) {
    const size_t n = sizeof kJobExtension - 1;
    return path.size() > n && EqualsNoCase(path.substr(path.size() - n), kJobExtension);
}

bool ParseJobAutoSteps(const std::string& text, JobFile& job) {
    bool* const flags[] = {&job.bBlank, &job.bProgram, &job.bVerify, &job.bLock};
    bool seen[4] = {};
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string word = LowerAscii(text.substr(start, comma - start));
        const size_t at = std::string("bpvl").find(word);
        if (word.size() != 1 || at == std::string::npos || seen[at]) return false;
        seen[at] = true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    for (int i = 0; i < 4; ++i) *flags[i] = seen[i];
    return true;
}

std::string FormatJobAutoSteps(const JobFile& job) {
    std::string out;
    const bool flags[] = {job.bBlank, job.bProgram, job.bVerify, job.bLock};
    for (int i = 0; i < 4; ++i)
        if (flags[i]) out += std::string(out.empty() ? "" : ",") + "bpvl"[i];
    return out;
}

ImageLoad LoadJobImage(const JobFile& job, const std::string& tempPath, PcBuffer& buf,
                       const BodyTable& bodies, bool checksumTest) {
    ImageLoad load;
    std::FILE* f = OpenFileUtf8(tempPath, "wb");
    const bool written =
        f && std::fwrite(job.image.data(), 1, job.image.size(), f) == job.image.size();
    if (f && std::fclose(f) != 0) f = nullptr;
    if (!f || !written) {
        RemoveFileUtf8(tempPath);
        return load.Box("Unable to write the file " + tempPath + ".");
    }
    load = LoadImageFile(tempPath, buf, bodies, checksumTest);
    RemoveFileUtf8(tempPath);
    if (load.bOk && (!buf.m_pBin || FormatChecksum(BufferChecksum(buf)) != job.strChecksum)) {
        load.bOk = false;
        load.Box("The image's checksum is not the one the job recorded (" + job.strChecksum + ").");
    }
    return load;
}

bool JobProfile::JobValue(const std::string& section, const std::string& key,
                          std::string& value) const {
    const bool flags[] = {m_job.bBlank, m_job.bProgram, m_job.bVerify, m_job.bLock};
    const char* const steps[] = {"Blank", "Program", "Verify", "Lock"};
    for (int i = 0; i < 4; ++i) {
        if (MatchesKey(section, key, "Auto", steps[i])) {
            value = flags[i] ? "1" : "0";
            return true;
        }
        const std::string addr = "Byte" + std::to_string(i) + "Addr";
        if (MatchesKey(section, key, "Serial", addr.c_str())) {
            value = std::to_string(m_job.nSerialAddr[i]);
            return true;
        }
    }
    if (MatchesKey(section, key, "Setting", "CheckID")) {
        value = m_job.bCheckId ? "1" : "0";
    } else if (MatchesKey(section, key, "Serial", "Enable")) {
        value = m_job.bSerial ? "1" : "0";
    } else if (MatchesKey(section, key, "Setting", "BodyName")) {
        value = m_job.strBody;
    } else {
        return false;
    }
    return true;
}

int JobProfile::GetInt(const std::string& section, const std::string& key, int def) const {
    std::string value;
    if (!JobValue(section, key, value)) return m_base.GetInt(section, key, def);
    return ParseProfileInt(value);
}

std::string JobProfile::GetString(const std::string& section, const std::string& key,
                                  const std::string& def) const {
    std::string value;
    return JobValue(section, key, value) ? value : m_base.GetString(section, key, def);
}

void JobProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    std::string ignored;
    if (!JobValue(section, key, ignored)) m_base.WriteInt(section, key, value);
}

void JobProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
    std::string ignored;
    if (!JobValue(section, key, ignored)) m_base.WriteString(section, key, value);
}

bool JobProfile::WriteStringDurable(const std::string& section, const std::string& key,
                                    const std::string& value) {
    std::string ignored;
    return JobValue(section, key, ignored) || m_base.WriteStringDurable(section, key, value);
}

std::string LotNumberError(const std::string& lot) {
    constexpr size_t kMaxLotChars = 64;
    if (lot.empty()) return "This job asks for a lot number.";
    if (Utf8CharacterCount(lot) > kMaxLotChars)
        return "A lot number has at most " + std::to_string(kMaxLotChars) + " characters.";
    for (const char c : lot)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "A lot number holds no control characters.";
    return std::string();
}
