#include "common/byte_sum.h"

void AddByteToSum(uint8_t* sum, uint8_t b) {
    *sum = static_cast<uint8_t>(*sum + b);
}

void AddWordToSum(uint8_t* sum, uint16_t w) {
    AddByteToSum(sum, static_cast<uint8_t>(w));
    AddByteToSum(sum, static_cast<uint8_t>(w >> 8));
}

void AddDwordToSum(uint8_t* sum, uint32_t d) {
    AddWordToSum(sum, static_cast<uint16_t>(d));
    AddWordToSum(sum, static_cast<uint16_t>(d >> 16));
}

void AddBytesToSum(uint8_t* sum, const uint8_t* bytes, uint16_t len) {
    for (uint16_t i = 0; i < len; ++i) AddByteToSum(sum, bytes[i]);
}
