// The finder operations that the symbology decoders register in the 2D finder table.
// Each decoder defines its own; until it does, a placeholder in its directory stands in.
#pragma once

#include "core/types.h"
#include "locate/finder.h"

namespace vexo {

// QR Code and Micro QR (entry 0, finder id 2).
// Per region: clears the candidate ring and counters and points both queue positions of
// g_qrFinderQueue at the ring's start. Both region pointers are ignored.
void QR_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
// 1 when the QR or the Micro QR flag word has its enable bit.
int QR_FinderRowWanted();
// Verifies queued candidates whose extent is at most limit x 16, queues new finder
// patterns from the line's edge list; raises success byte 2 when more than one verified
// pattern stands. Returns at once when another finder succeeded or the previous line has
// no samples.
void QR_FinderRowLine(FINDER_LINE *line);

// Data Matrix L-finder (entry 1, finder id 3). Never raises its success byte.
void DM_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
int DM_FinderRowWanted();
int DM_FinderColumnWanted();
void DM_FinderRowLine(FINDER_LINE *line);
void DM_FinderColumnLine(FINDER_LINE *line);
void DM_FinderRowFinish();
void DM_FinderColumnFinish();

// MaxiCode bulls-eye finder (entry 2, finder id 6). The reset reads the first region
// pointer (its row band is the region centre +- a quarter of its height).
void Maxi_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
int Maxi_FinderRowWanted();
void Maxi_FinderRowLine(FINDER_LINE *line);

// Aztec bulls-eye finder (entry 3, finder id 4). The reset reads the first region pointer.
void Azt_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
int Azt_FinderRowWanted();
void Azt_FinderRowLine(FINDER_LINE *line);

// CS Code finder (entry 4, finder id 5): one line handler for rows and columns. Never
// raises its success byte; stops early when another id is locked.
void CSCN_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
int CSCN_FinderRowWanted();
int CSCN_FinderColumnWanted();
void CSCN_FinderLine(FINDER_LINE *line);

}  // namespace vexo
