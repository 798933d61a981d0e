#include "core/command_result.h"

#include "writer/protocol.h"

const char* StepName(Step step) {
    switch (step) {
        case Step::kNone:
            return "";
        case Step::kData:
            return "data";
        case Step::kDownload:
            return "download";
        case Step::kConnect:
            return "connect";
        case Step::kDriverCheck:
            return "driver_check";
        case Step::kEnterProgramming:
            return "enter_programming";
        case Step::kIdCheck:
            return "id_check";
        case Step::kSerialCheck:
            return "serial_check";
        case Step::kSerialSave:
            return "serial_save";
        case Step::kBlankCheck:
            return "blank_check";
        case Step::kProgram:
            return "program";
        case Step::kVerify:
            return "verify";
        case Step::kLock:
            return "lock";
        case Step::kSerialWrite:
            return "serial_write";
        case Step::kExitProgramming:
            return "exit_programming";
        case Step::kChipInfo:
            return "chip_info";
        case Step::kUnknownChip:
            return "unknown_chip";
    }
    return "";
}

Step StepOfOperation(uint8_t mask, uint8_t status, uint8_t lastBusy) {
    switch (status) {
        case WS_ID_ERROR:
            return Step::kIdCheck;
        case WS_NOT_BLANK:
            return Step::kBlankCheck;
        case WS_PROGRAM_FAILED:
            return Step::kProgram;
        case WS_VERIFY_FAILED:
            return Step::kVerify;
        case WS_LOCK_FAILED:
            return Step::kLock;
        default:
            break;
    }
    switch (lastBusy) {
        case WS_BLANK_CHECKING:
            return Step::kBlankCheck;
        case WS_PROGRAMMING:
            return Step::kProgram;
        case WS_VERIFYING:
            return Step::kVerify;
        default:
            break;
    }
    if (mask & OP_ID_CHECK) return Step::kIdCheck;
    if (mask & OP_BLANK) return Step::kBlankCheck;
    if (mask & OP_PROGRAM) return Step::kProgram;
    if (mask & OP_VERIFY) return Step::kVerify;
    if (mask & OP_LOCK) return Step::kLock;
    return Step::kNone;
}
