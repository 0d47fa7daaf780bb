// formats.h -- each format of disk images the library converts to and
// from, as the dispatcher (convert.cpp) calls it: whether bytes are an
// image of the format, a writer that puts one disk into a sink, reporting
// what the format cannot carry, and a reader that fills a cleared disk
// record.  Private to the library.
#ifndef D88_FORMATS_FORMATS_H
#define D88_FORMATS_FORMATS_H

#include <cstdint>

#include "d88.h"
#include "shared/losses.h"
#include "shared/sink.h"

// Writers return 0, or -1 after a message when the format cannot describe
// the disk at all (force or not); readers return 0, or -1 after a message.
int32_t write_imd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_imd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
bool is_imd_image(const uint8_t* bytes, int32_t size);

// Raw dumps and HDM; row is a standard format, or -1 to know it by the
// size (HDM's is fixed).
int32_t write_raw_disk(const d88_disk* disk, int32_t format, loss_report* report, byte_sink* sink);
int32_t read_raw_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t format, int32_t row);
// The standard format a raw dump of size bytes holds, or -1.
int32_t find_raw_row_of_size(int32_t size);

int32_t write_fdi_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_fdi_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
bool is_fdi_image(const uint8_t* bytes, int32_t size);

int32_t write_dim_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_dim_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
bool is_dim_image(const uint8_t* bytes, int32_t size);

int32_t write_hfe_disk(const d88_disk* disk, int32_t rpm, loss_report* report, byte_sink* sink);
int32_t read_hfe_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
bool is_hfe_image(const uint8_t* bytes, int32_t size);

int32_t write_nfd_disk(const d88_disk* disk, loss_report* report, byte_sink* sink);
int32_t read_nfd_disk(d88_disk* disk, const uint8_t* bytes, int32_t size);
bool is_nfd_image(const uint8_t* bytes, int32_t size);

// Flux dumps: an SCP file, or one KryoFlux stream file of track slot
// `slot`, decoded into the disk through reading (see shared/flux.h).
struct flux_reading;
int32_t read_scp_disk(d88_disk* disk, const uint8_t* bytes, int32_t size, flux_reading* reading);
int32_t write_scp_disk(const d88_disk* disk, int32_t rpm, int32_t revolutions, loss_report* report, byte_sink* sink);
bool is_scp_image(const uint8_t* bytes, int32_t size);
int32_t read_kryoflux_track(d88_disk* disk, const uint8_t* bytes, int32_t size, int32_t slot, flux_reading* reading);
bool is_kryoflux_stream(const uint8_t* bytes, int32_t size);

#endif
