/* libvexo3: the image decoder library.
 *
 * One grey image in, the first symbol read out. The library keeps all of its state in
 * static storage and allocates nothing; the caller serialises every call.
 *
 * Per frame: Set width (VEXO_ID_IMAGE_WIDTH), height (VEXO_ID_IMAGE_HEIGHT) and the pixel
 * pointer (VEXO_ID_IMAGE_PIXELS), Decode, and on success Get the code id
 * (VEXO_ID_RESULT_CODE_ID) and the text (VEXO_ID_RESULT_TEXT) into a TEXT_DESC.
 * Every function answers 1 on success and 0 on failure. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VEXO3_EXPORT __attribute__((visibility("default")))
#else
#define VEXO3_EXPORT
#endif

/* Output descriptor of every text that Get returns. The caller fills size (at least 24),
 * capacity and buffer; Get writes length (bytes written, no terminator counted). */
typedef struct TEXT_DESC {
    uint32_t size;
    uint32_t capacity;
    uint32_t length;
    uint32_t reserved;
    char *buffer;
} TEXT_DESC;

/* Region of interest of Set/Get VEXO_ID_ROI_RECORD, in pixels. */
typedef struct ROI_RECORD {
    int32_t top;
    int32_t left;
    int32_t right;
    int32_t bottom;
    int32_t enabled;
} ROI_RECORD;

/* Build stamp answered by X3_Dec_TSI. */
#define VEXO_BUILD_STAMP 20151223

/* Boolean property values. */
#define VEXO_OFF 0x10000u
#define VEXO_ON 0x10001u

/* Property ids handled by the interface itself. */
#define VEXO_ID_IMAGE_PIXELS 0x100100u     /* Set: const uint8_t * (the whole 64-bit value) */
#define VEXO_ID_IMAGE_WIDTH 0x100101u      /* Set: pixels, also the row stride */
#define VEXO_ID_IMAGE_HEIGHT 0x100102u     /* Set: rows */
#define VEXO_ID_EXTRA_GEOMETRY 0x100212u   /* Set 0/1, Get: accept only symbols centred in the ROI */
#define VEXO_ID_ROI_PERCENT 0x100213u      /* Set/Get: centred ROI in percent of the frame */
#define VEXO_ID_ROI_RECORD 0x100214u       /* Set: ROI_RECORD *, Get: ROI_RECORD */
#define VEXO_ID_SMOOTHING 0x100215u        /* Set: 1 smooths every second frame */
#define VEXO_ID_ROI_LEFT 0x100216u
#define VEXO_ID_ROI_RIGHT 0x100217u
#define VEXO_ID_ROI_TOP 0x100218u
#define VEXO_ID_ROI_BOTTOM 0x100219u
#define VEXO_ID_ROI_ENABLE 0x10021au       /* Set: applies the four edge words */
#define VEXO_ID_BANNER 0x100400u           /* Get: TEXT_DESC */
#define VEXO_ID_VERSION_LIST 0x100401u     /* Get: TEXT_DESC */
#define VEXO_ID_RESULT_STATUS 0x100500u    /* Get: uint32_t */
#define VEXO_ID_RESULT_CODE_ID 0x100501u   /* Get: uint32_t */
#define VEXO_ID_RESULT_TEXT 0x100502u      /* Get: TEXT_DESC */
#define VEXO_ID_RESULT_LENGTH 0x100503u    /* Get: uint32_t */
#define VEXO_ID_RESULT_WORD 0x100504u      /* Get: uint32_t */
#define VEXO_ID_EXTERNAL_SYMBOLOGY 0x100513u /* Get: uint32_t */
#define VEXO_ID_OPTION_BIT1 0x100515u      /* Set/Get boolean */
#define VEXO_ID_OPTION_BIT0 0x100516u      /* Set/Get boolean */
#define VEXO_ID_JOINED_COUNT 0x100517u     /* Get: uint32_t */
#define VEXO_ID_AIM_PREFIX 0x100600u       /* Set boolean: put the 3-byte AIM identifier before the text */

/* Largest frame the decoder accepts. */
#define VEXO_MAX_FRAME_SIDE 1280
#define VEXO_MAX_FRAME_PIXELS 1228800

VEXO3_EXPORT int ZPT_SE_VexoDec_Init(void);
VEXO3_EXPORT int ZPT_SE_VexoDec_Set(uint32_t id, uint64_t value);
VEXO3_EXPORT int ZPT_SE_VexoDec_Get(uint32_t id, void *out);
VEXO3_EXPORT int ZPT_SE_VexoDec_Decode(void);
VEXO3_EXPORT int X3_Dec_TSI(int32_t stamp);
VEXO3_EXPORT int ZPT_SE_VexoConnect_Init(uint32_t *p);

/* Types for binding the exports by name with dlsym. */
typedef int (*VexoDecInitFn)(void);
typedef int (*VexoDecSetFn)(uint32_t, uint64_t);
typedef int (*VexoDecGetFn)(uint32_t, void *);
typedef int (*VexoDecDecodeFn)(void);
typedef int (*VexoDecTsiFn)(int32_t);
typedef int (*VexoConnectInitFn)(uint32_t *);

#ifdef __cplusplus
}
#endif
