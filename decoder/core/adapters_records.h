// The module records as loaded: which adapter or decoder entry fills each slot. A null
// slot is skipped by every caller.
#pragma once

#include "aztec_maxicode/azt_services.h"
#include "aztec_maxicode/maxi_services.h"
#include "core/adapters.h"
#include "core/module_types.h"
#include "datamatrix/dm_services.h"
#include "hanxin/cscn_services.h"
#include "linear_image/lineimg_services.h"
#include "pdf417/pdf417_services.h"
#include "qr/qr_services.h"

namespace vexo {

inline constexpr SYM_MODULE kEmptyModule = {
    .kind = 0, .moduleId = 0, .getVersion = nullptr, .resetForImage = nullptr, .decode = nullptr,
    .getStatus = nullptr, .getData = nullptr, .getLength = nullptr, .fillResult = nullptr,
    .getAppendPresent = nullptr, .getAppendIndex = nullptr, .getAppendIndex2 = nullptr,
    .getAppendCount = nullptr, .getFileIdLength = nullptr, .getFileIdItem = nullptr, .slot14 = nullptr,
    .getAimId = nullptr, .getHeader = nullptr, .getCorners = nullptr, .getRawData = nullptr,
    .getRawLength = nullptr, .writeAimId = nullptr, .setLinkage = nullptr, .slot22 = nullptr,
};

inline constexpr EXT_MODULE kEmptyExtModule = {
    .kind = 0, .moduleId = 0, .getVersion = nullptr, .resetForImage = nullptr, .decode = nullptr,
    .getStatus = nullptr, .getData = nullptr, .getLength = nullptr, .fillResult = nullptr,
    .getAppendPresent = nullptr, .getAppendIndex = nullptr, .getAppendIndex2 = nullptr,
    .getAppendCount = nullptr, .getFileIdLength = nullptr, .getFileIdItem = nullptr, .slot14 = nullptr,
    .getAimId = nullptr,
};

inline constexpr MODULE_ARRAYS kDefaultModules = {
    .matrix =
        {
            // 0: QR Code and Micro QR
            {.kind = kKindMatrix, .moduleId = kModuleQr, .getVersion = Sym_GetVersion<kAdapterQr>,
             .resetForImage = nullptr, .decode = Sym_Decode<kAdapterQr>, .getStatus = Sym_StatusWord<kAdapterQr>,
             .getData = Sym_ReportedData<kReportedQr>, .getLength = Sym_ReportedLength<kReportedQr>,
             .fillResult = Sym_QrFillResult, .getAppendPresent = Sym_QrAppendPresent,
             .getAppendIndex = Sym_QrAppendIndex, .getAppendIndex2 = Sym_QrAppendIndex,
             .getAppendCount = Sym_QrAppendCount, .getFileIdLength = Sym_QrFileIdLength,
             .getFileIdItem = Sym_QrFileIdItem, .slot14 = nullptr, .getAimId = Sym_ReportedAimId<kReportedQr>,
             .getHeader = Sym_QrGetHeader, .getCorners = QR_GetCorners, .getRawData = QR_GetResultText,
             .getRawLength = QR_GetResultLength, .writeAimId = QR_WriteAimId, .setLinkage = nullptr,
             .slot22 = nullptr},
            // 1: Data Matrix
            {.kind = kKindMatrix, .moduleId = kModuleDataMatrix, .getVersion = Sym_GetVersion<kAdapterDataMatrix>,
             .resetForImage = nullptr, .decode = Sym_Decode<kAdapterDataMatrix>,
             .getStatus = Sym_StatusWord<kAdapterDataMatrix>, .getData = Sym_ReportedData<kReportedDataMatrix>,
             .getLength = Sym_ReportedLength<kReportedDataMatrix>, .fillResult = Sym_DmFillResult,
             .getAppendPresent = Sym_DmAppendPresent, .getAppendIndex = Sym_DmAppendIndex,
             .getAppendIndex2 = Sym_DmAppendIndex, .getAppendCount = Sym_DmAppendCount,
             .getFileIdLength = Sym_DmFileIdLength, .getFileIdItem = Sym_DmFileIdItem, .slot14 = nullptr,
             .getAimId = Sym_ReportedAimId<kReportedDataMatrix>, .getHeader = Sym_DmGetHeader,
             .getCorners = DM_GetCorners, .getRawData = DM_GetResultText, .getRawLength = DM_GetResultLength,
             .writeAimId = DM_WriteAimId, .setLinkage = nullptr, .slot22 = nullptr},
            // 2: Aztec
            {.kind = kKindMatrix, .moduleId = kModuleAztec, .getVersion = Sym_GetVersion<kAdapterAztec>,
             .resetForImage = nullptr, .decode = Sym_Decode<kAdapterAztec>,
             .getStatus = Sym_StatusWord<kAdapterAztec>, .getData = Sym_ReportedData<kReportedAztec>,
             .getLength = Sym_ReportedLength<kReportedAztec>, .fillResult = Sym_AztecFillResult,
             .getAppendPresent = nullptr, .getAppendIndex = nullptr, .getAppendIndex2 = nullptr,
             .getAppendCount = nullptr, .getFileIdLength = nullptr, .getFileIdItem = nullptr, .slot14 = nullptr,
             .getAimId = Sym_ReportedAimId<kReportedAztec>, .getHeader = Sym_AztecGetHeader,
             .getCorners = Azt_GetCorners, .getRawData = Azt_GetResultText, .getRawLength = Azt_GetResultLength,
             .writeAimId = Azt_WriteAimId, .setLinkage = nullptr, .slot22 = nullptr},
            // 3: MaxiCode
            {.kind = kKindMatrix, .moduleId = kModuleMaxiCode, .getVersion = Sym_GetVersion<kAdapterMaxiCode>,
             .resetForImage = nullptr, .decode = Sym_Decode<kAdapterMaxiCode>,
             .getStatus = Sym_StatusWord<kAdapterMaxiCode>, .getData = Sym_ReportedData<kReportedMaxiCode>,
             .getLength = Sym_ReportedLength<kReportedMaxiCode>, .fillResult = Sym_MaxiFillResult,
             .getAppendPresent = nullptr, .getAppendIndex = nullptr, .getAppendIndex2 = nullptr,
             .getAppendCount = nullptr, .getFileIdLength = nullptr, .getFileIdItem = nullptr, .slot14 = nullptr,
             .getAimId = Sym_ReportedAimId<kReportedMaxiCode>, .getHeader = Sym_MaxiGetHeader,
             .getCorners = Maxi_GetCorners, .getRawData = Maxi_GetResultText,
             .getRawLength = Maxi_GetResultLength, .writeAimId = Maxi_WriteAimId, .setLinkage = nullptr,
             .slot22 = nullptr},
            // 4: Han Xin Code
            {.kind = kKindMatrix, .moduleId = kModuleCsCode, .getVersion = Sym_GetVersion<kAdapterCsCode>,
             .resetForImage = nullptr, .decode = Sym_Decode<kAdapterCsCode>,
             .getStatus = Sym_StatusWord<kAdapterCsCode>, .getData = Sym_ReportedData<kReportedCsCode>,
             .getLength = Sym_ReportedLength<kReportedCsCode>, .fillResult = Sym_CsFillResult,
             .getAppendPresent = Sym_CsAppendPresent, .getAppendIndex = Sym_CsAppendIndex,
             .getAppendIndex2 = Sym_CsAppendIndex, .getAppendCount = Sym_CsAppendCount,
             .getFileIdLength = Sym_CsFileIdLength, .getFileIdItem = Sym_CsFileIdItem, .slot14 = nullptr,
             .getAimId = Sym_ReportedAimId<kReportedCsCode>, .getHeader = Sym_CsGetHeader,
             .getCorners = CSCN_GetCorners, .getRawData = CSCN_GetResultText,
             .getRawLength = CSCN_GetResultLength, .writeAimId = CSCN_WriteAimId, .setLinkage = nullptr,
             .slot22 = nullptr},
            // 5: MicroPDF417
            {.kind = kKindMatrix, .moduleId = kModuleMicroPdf417,
             .getVersion = Sym_GetVersion<kAdapterMicroPdf417>, .resetForImage = nullptr,
             .decode = Sym_Decode<kAdapterMicroPdf417>, .getStatus = Sym_ReportedStatus<kReportedMicroPdf417>,
             .getData = Sym_ReportedData<kReportedMicroPdf417>, .getLength = Sym_ReportedLength<kReportedMicroPdf417>,
             .fillResult = Sym_MicroPdf417FillResult, .getAppendPresent = nullptr, .getAppendIndex = nullptr,
             .getAppendIndex2 = nullptr, .getAppendCount = nullptr, .getFileIdLength = nullptr,
             .getFileIdItem = nullptr, .slot14 = nullptr, .getAimId = MPDF_WriteAimId,
             .getHeader = Sym_MicroPdf417GetHeader, .getCorners = Sym_MicroPdf417GetCorners,
             .getRawData = MPDF_GetResultText, .getRawLength = MPDF_GetResultLength, .writeAimId = MPDF_WriteAimId,
             .setLinkage = nullptr, .slot22 = nullptr},
            // 6: empty
            kEmptyModule,
        },
    .stacked =
        {
            // 0: PDF417
            {.kind = kKindMatrix, .moduleId = kModulePdf417, .getVersion = Sym_GetVersion<kAdapterPdf417>,
             .resetForImage = Sym_PdfResetForImage, .decode = Sym_Decode<kAdapterPdf417>,
             .getStatus = Sym_StatusWord<kAdapterPdf417>, .getData = Sym_PdfGetData, .getLength = Sym_PdfGetLength,
             .fillResult = Sym_PdfFillResult, .getAppendPresent = Sym_PdfAppendPresent,
             .getAppendIndex = Sym_PdfAppendIndex, .getAppendIndex2 = Sym_PdfAppendIndex,
             .getAppendCount = Sym_PdfAppendCount, .getFileIdLength = Sym_PdfFileIdLength,
             .getFileIdItem = Sym_PdfFileIdItem, .slot14 = nullptr, .getAimId = PDF_WriteAimId,
             .getHeader = nullptr, .getCorners = nullptr, .getRawData = nullptr, .getRawLength = nullptr,
             .writeAimId = nullptr, .setLinkage = nullptr, .slot22 = nullptr},
            // 1: Composite1D, the linear module
            {.kind = kKindLinear, .moduleId = kModuleComposite1D, .getVersion = Sym_GetVersion<kAdapterComposite1D>,
             .resetForImage = nullptr, .decode = Sym_Decode<kAdapterComposite1D>,
             .getStatus = Sym_StatusWord<kAdapterComposite1D>, .getData = LineImg_GetResultText,
             .getLength = LineImg_GetResultLength, .fillResult = Sym_Composite1DFillResult,
             .getAppendPresent = nullptr, .getAppendIndex = nullptr, .getAppendIndex2 = nullptr,
             .getAppendCount = nullptr, .getFileIdLength = nullptr, .getFileIdItem = nullptr, .slot14 = nullptr,
             .getAimId = LineImg_WriteAimId, .getHeader = nullptr, .getCorners = nullptr, .getRawData = nullptr,
             .getRawLength = nullptr, .writeAimId = nullptr, .setLinkage = LineImg_SetScanMode,
             .slot22 = nullptr},
            // 2: empty
            kEmptyModule,
        },
    .external = kEmptyExtModule,
    .ocr = kEmptyModule,
};

}  // namespace vexo
