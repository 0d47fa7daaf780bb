// fuzz_targets.h -- the fuzzed operations, shared by the libFuzzer drivers
// and by the test that replays the corpus in every build.
#ifndef FUZZ_FUZZ_TARGETS_H
#define FUZZ_FUZZ_TARGETS_H

#include <cstddef>
#include <cstdint>

// Reads data as an image; an accepted image must survive write, read and
// write again unchanged.  Aborts when it does not.
void fuzz_read_image(const uint8_t* data, size_t size);

// Splits data into a game image and two data images and runs the job on
// them as the tool does, without the files.  A completed image must read
// back with its disks; returns its size, or -1 when the job failed.
int32_t fuzz_run_job(const uint8_t* data, size_t size);

// Reads data after its first byte as an image of the format that byte
// names (modulo the formats), never crashing; an image read must be a D88
// image that writes and reads back, and written again in its format where
// nothing is lost, must read back as the same records.
void fuzz_import_image(const uint8_t* data, size_t size);

// Lays a file system on a blank disk (the first byte chooses which, on
// which media), covers its FAT and directory with the rest, and lists
// (subdirectories too), checks, reads, writes and deletes files on it,
// never crashing; a write
// or a delete that fails leaves the disk as it was.
void fuzz_file_system(const uint8_t* data, size_t size);

// Writes a disk in another format: the first byte names the format (its
// low three bits) and force (bit 3), and whether a D88 image follows (its
// high four bits 0) or a blank disk of a standard format (1 to 10) with
// four-byte patches of its sectors.  A file is made exactly when nothing
// was lost or force was given, is known by its content and always reads
// back; without a loss it reads back as the same sectors.
void fuzz_export_image(const uint8_t* data, size_t size);

// Reads data after its first two bytes as a flux dump: an SCP file (first
// byte even) or the KryoFlux stream of the track slot the second byte
// names; never crashing, the disk read writes and reads back.
void fuzz_flux_image(const uint8_t* data, size_t size);

#endif
