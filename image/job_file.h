#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/profile.h"
#include "image/body_table.h"
#include "image/image_load.h"
#include "image/pc_buffer.h"

// A sealed job (.pgjob): one image and the settings a production run needs,
// in a JSON text a person can read. The file is {"job": {...}, "seal": HEX}.
// The seal is the SHA-256 of the job object in its canonical form (JobSealText):
// whatever a reader takes from the file is covered, however it was spaced.

constexpr int kJobFormat = 1;
constexpr size_t kMaxJobFileBytes = 64u << 20;
constexpr size_t kMaxJobImageBytes = 32u << 20;
constexpr size_t kMaxJobNameChars = 200;
constexpr size_t kJobCodeDigits = 8;
extern const char kJobExtension[];  // ".pgjob"

struct JobFile {
    std::string strName;
    std::string strMade;       // when it was made, "2026-12-09T03:00:00+01:00"
    std::string strBody;       // the chip body of the run
    std::string strImageName;  // the image's file name; its extension picks the loader
    std::vector<uint8_t> image;
    std::string strChecksum;  // the loaded image's checksum, "E12Fh"
    bool bBlank = true, bProgram = true, bVerify = true, bLock = false;
    bool bCheckId = false;
    bool bSerial = false;
    uint32_t nSerialAddr[4] = {1, 2, 3, 7};
    bool bAskLot = false;
    // Filled by SealJob and ParseJobFile.
    std::string strSeal;  // 64 lower-case hex digits
    std::string strCode;  // the seal's first 8 digits in upper case
};

// The canonical form hashed for the seal: the job object as compact JSON,
// keys in byte order, no blanks, integers in decimal, non-ASCII text as UTF-8.
std::string JobSealText(const JobFile& job);
// Computes the seal and the code; false when the system's hashing failed.
bool SealJob(JobFile& job);
// The file's text, sealed (SealJob first); empty when sealing failed.
std::string FormatJobFile(JobFile& job);

enum class JobParse {
    kOk,
    kDamaged,    // not a job, a field missing or out of range, or the seal does not match
    kNewFormat,  // made by a later version of the program
};
// Reads a job file's text; `job` is filled only on kOk. Never throws.
JobParse ParseJobFile(const std::string& text, JobFile& job);

// "The job file PATH has been changed or is damaged."
std::string JobDamagedText(const std::string& path);
// True when the path ends in .pgjob, in any case.
bool IsJobPath(const std::string& path);
// "b,p,v" style Auto steps; false on an unknown letter, a repeat or none.
bool ParseJobAutoSteps(const std::string& text, JobFile& job);
std::string FormatJobAutoSteps(const JobFile& job);  // "b,p,v"

// Writes the job's image to `tempPath`, loads it as the Open command would
// and removes the file again. Not loaded (bOk false, a box saying why) when
// the loader refuses it or its checksum is not the one the job recorded.
ImageLoad LoadJobImage(const JobFile& job, const std::string& tempPath, PcBuffer& buf,
                       const BodyTable& bodies, bool checksumTest);

// The settings file as a run of a job sees it: the job's body, Auto steps,
// Check ID and serial-number switch and addresses instead of the file's,
// which writes to those keys leave alone. Everything else ([Serial] Data
// under its lock, the bodies, the timings, the log) is the file's.
class JobProfile : public Profile {
  public:
    JobProfile(Profile& base, const JobFile& job) : m_base(base), m_job(job) {}
    int GetInt(const std::string& section, const std::string& key, int def) const override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) const override;
    void WriteInt(const std::string& section, const std::string& key, int value) override;
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) override;
    bool WriteStringDurable(const std::string& section, const std::string& key,
                            const std::string& value) override;

  private:
    // The job's value of a key it decides, as the file would hold it.
    bool JobValue(const std::string& section, const std::string& key, std::string& value) const;
    Profile& m_base;
    const JobFile m_job;
};

// A lot number goes into every record: one line of printable text, at most 64
// characters. Empty when it may be used, else why not.
std::string LotNumberError(const std::string& lot);
