/*
 * CRC16: the 16-bit frame checksum of the sensor's binary output formats
 * (generator polynomial 0x1021, MSB first, message bytes shifted into the
 * low end of the register).
 *
 * Every function takes the running register and returns the updated one; the
 * library keeps no state. Only the low 16 bits of the register argument are
 * used and the result always has its upper 16 bits clear. Byte counts are
 * 16-bit quantities: only their low 16 bits are used (0..65535 bytes).
 *
 * Feeding a message and then two zero bytes with the preset 0xFFFF gives the
 * CRC-16/AUG-CCITT of the message; a frame that carries that checksum behind
 * its data, high byte first, leaves the register at 0.
 *
 * Callers that bind at run time look the functions up under their decorated
 * names: _crc16_byte@8, _crc16_byte_block@12, _crc16_word@8 and
 * _crc16_word_block@12. Callers that link normally use the plain names below.
 */
#ifndef CRC16_H
#define CRC16_H

#include <stdint.h>

#if defined(_WIN32)
#  define CRC16_CALL __stdcall
#  if defined(CRC16_BUILDING)
     /* the export definition file names the exports */
#    define CRC16_API
#  else
#    define CRC16_API __declspec(dllimport)
#  endif
#else
#  define CRC16_CALL
#  define CRC16_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One update step with the byte b (low 8 bits used). */
CRC16_API uint32_t CRC16_CALL crc16_byte(uint32_t b, uint32_t reg);

/* One update step per byte of data[0..count-1], first byte first.
 * count 0 returns the register unchanged. */
CRC16_API uint32_t CRC16_CALL crc16_byte_block(const void* data, uint32_t count, uint32_t reg);

/* Two update steps: the high byte of w first, then its low byte. */
CRC16_API uint32_t CRC16_CALL crc16_word(uint32_t w, uint32_t reg);

/* count / 2 words (an odd last byte is ignored), each read from memory in
 * little-endian order and fed high byte first. count below 2 returns the
 * register unchanged. */
CRC16_API uint32_t CRC16_CALL crc16_word_block(const void* data, uint32_t count, uint32_t reg);

/* Signatures of the exports for callers that bind by name. */
typedef uint32_t (CRC16_CALL* crc16_step_fn)(uint32_t value, uint32_t reg);
typedef uint32_t (CRC16_CALL* crc16_block_fn)(const void* data, uint32_t count, uint32_t reg);

#ifdef __cplusplus
}
#endif

#endif /* CRC16_H */
