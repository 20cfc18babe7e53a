// The queued writes of d2xx.h over the vendor's library, which has no transfers to queue: its
// driver keeps its own transmit buffer, and the chip's FIFO covers the gap between two writes.
#include "d2xx.h"

extern "C" {

FT_STATUS FTX_WriteQueued(FT_HANDLE handle, const UCHAR *buffer, DWORD length)
{
    DWORD written = 0;
    const FT_STATUS status = FT_Write(handle, const_cast<UCHAR *>(buffer), length, &written);
    return status == FT_OK && written != length ? FT_IO_ERROR : status;
}

FT_STATUS FTX_WaitQueued(FT_HANDLE)
{
    return FT_OK;
}

FT_STATUS FTX_CancelQueued(FT_HANDLE, DWORD *dropped)
{
    if (dropped)
        *dropped = 0;
    return FT_OK;
}

}
