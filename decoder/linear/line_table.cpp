#include "linear/line_table.h"

#include "linear/codabar.h"
#include "linear/code11.h"
#include "linear/code128.h"
#include "linear/code39.h"
#include "linear/code93.h"
#include "linear/databar.h"
#include "linear/ean_upc.h"
#include "linear/msi_plessey.h"
#include "linear/two_of_five.h"
#include "linear/var25a_fixed8.h"

namespace vexo {

// One row per family in the order at load; each family fills its own row.
constexpr LINE_TABLE kLineTableAtLoad = {{
    // 0: fixed 8-digit code
    {.reset = nullptr,
     .isEnabled = &Fixed8_IsEnabled,
     .locate = &Fixed8_Locate,
     .decode = &Fixed8_Decode,
     .verify = &Fixed8_Verify},
    // 1: 2 of 5 variant A
    {.reset = nullptr,
     .isEnabled = &Var25a_IsEnabled,
     .locate = &Var25a_Locate,
     .decode = &Var25a_Decode,
     .verify = &Var25a_Verify},
    // 2: Code 93
    {.reset = &Code93_Reset,
     .isEnabled = &Code93_IsEnabled,
     .locate = &Code93_Locate,
     .decode = &Code93_Decode,
     .verify = &Code93_Verify},
    // 3: Code 39, Code 32
    {.reset = &Code39_Reset,
     .isEnabled = &Code39_IsEnabled,
     .locate = &Code39_Locate,
     .decode = &Code39_Decode,
     .verify = &Code39_Verify},
    // 4: Codabar
    {.reset = &Codabar_Reset,
     .isEnabled = &Codabar_IsEnabled,
     .locate = &Codabar_Locate,
     .decode = &Codabar_Decode,
     .verify = &Codabar_Verify},
    // 5: ITF and its fixed-length forms
    {.reset = &Itf_Reset, .isEnabled = &Itf_IsEnabled, .locate = &Itf_Locate, .decode = &Itf_Decode, .verify = &Itf_Verify},
    // 6: Matrix 2 of 5
    {.reset = &Mat25_Reset,
     .isEnabled = &Mat25_IsEnabled,
     .locate = &Mat25_Locate,
     .decode = &Mat25_Decode,
     .verify = &Mat25_Verify},
    // 7: Industrial 2 of 5
    {.reset = &Ind25_Reset,
     .isEnabled = &Ind25_IsEnabled,
     .locate = &Ind25_Locate,
     .decode = &Ind25_Decode,
     .verify = &Ind25_Verify},
    // 8: 2 of 5 variant B
    {.reset = &Var25b_Reset,
     .isEnabled = &Var25b_IsEnabled,
     .locate = &Var25b_Locate,
     .decode = &Var25b_Decode,
     .verify = &Var25b_Verify},
    // 9: IATA 2 of 5
    {.reset = &Iata25_Reset,
     .isEnabled = &Iata25_IsEnabled,
     .locate = &Iata25_Locate,
     .decode = &Iata25_Decode,
     .verify = &Iata25_Verify},
    // 10: Code 128 family
    {.reset = &Code128_Reset,
     .isEnabled = &Code128_IsEnabled,
     .locate = &Code128_Locate,
     .decode = &Code128_Decode,
     .verify = &Code128_Verify},
    // 11: EAN-13, UPC-A, ISSN, ISBN
    {.reset = &Ean13_Reset,
     .isEnabled = &Ean13_IsEnabled,
     .locate = &Ean13_Locate,
     .decode = &Ean13_Decode,
     .verify = &Ean13_Verify},
    // 12: EAN-8
    {.reset = &Ean8_Reset,
     .isEnabled = &Ean8_IsEnabled,
     .locate = &Ean8_Locate,
     .decode = &Ean8_Decode,
     .verify = &Ean8_Verify},
    // 13: UPC-E
    {.reset = &Upce_Reset,
     .isEnabled = &Upce_IsEnabled,
     .locate = &Upce_Locate,
     .decode = &Upce_Decode,
     .verify = &Upce_Verify},
    // 14: Plessey
    {.reset = &Plessey_Reset,
     .isEnabled = &Plessey_IsEnabled,
     .locate = &Plessey_Locate,
     .decode = &Plessey_Decode,
     .verify = &Plessey_Verify},
    // 15: MSI
    {.reset = &Msi_Reset, .isEnabled = &Msi_IsEnabled, .locate = &Msi_Locate, .decode = &Msi_Decode, .verify = &Msi_Verify},
    // 16: Code 11
    {.reset = nullptr,
     .isEnabled = &Code11_IsEnabled,
     .locate = &Code11_Locate,
     .decode = &Code11_Decode,
     .verify = &Code11_Verify},
    // 17: GS1 DataBar Limited
    {.reset = nullptr,
     .isEnabled = &DataBar_IsEnabled,
     .locate = &DataBar_LocateLimited,
     .decode = &DataBar_DecodeLimited,
     .verify = &DataBar_Verify},
    // 18: GS1 DataBar omnidirectional
    {.reset = nullptr,
     .isEnabled = &DataBar_IsEnabled,
     .locate = &DataBar_LocateOmni,
     .decode = &DataBar_DecodeOmni,
     .verify = &DataBar_Verify},
    // 19: GS1 DataBar stacked
    {.reset = &DataBar_Reset,
     .isEnabled = &DataBar_IsEnabled,
     .locate = &DataBar_LocateStacked,
     .decode = &DataBar_DecodeStacked,
     .verify = &DataBar_Verify},
    // 20: GS1 DataBar Expanded
    {.reset = &DataBar_Reset,
     .isEnabled = &DataBar_IsEnabled,
     .locate = &DataBar_LocateExpanded,
     .decode = &DataBar_DecodeExpanded,
     .verify = &DataBar_Verify},
    // 21: end record
    {.reset = nullptr, .isEnabled = nullptr, .locate = nullptr, .decode = nullptr, .verify = nullptr},
}};

LINE_TABLE g_lineTable = kLineTableAtLoad;

}  // namespace vexo
