// Job files as read from disk: any bytes parse without a crash, and a job
// that passes the seal check writes out to a file that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/job_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    JobFile job;
    if (ParseJobFile(text, job) != JobParse::kOk) return 0;
    if (job.strCode.size() != kJobCodeDigits) std::abort();
    JobFile again = job;
    JobFile back;
    if (ParseJobFile(FormatJobFile(again), back) != JobParse::kOk || back.strSeal != job.strSeal ||
        back.image != job.image || back.strName != job.strName)
        std::abort();
    return 0;
}
