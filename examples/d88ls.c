/* d88ls.c -- d88ls in C: lists the disks of D88 images and the sectors of
 * their tracks, using nothing but the d88 library's public interface.
 *   d88ls IMAGE...
 */
#include <d88/d88.h>

#include <stdio.h>

static const char* media_name(uint8_t disk_type)
{
    return disk_type == 0x00 ? "2D" : disk_type == 0x10 ? "2DD" : "2HD";
}

/* One line a disk, then one line a track: its slot, C and H, and sector count. */
static void list_image(const d88_image* image)
{
    int index = 0;
    const d88_disk* disk;
    for (disk = image->disks; disk != NULL; disk = disk->next, ++index) {
        int slot;
        printf("disk %d: \"%.16s\" %s, %d bytes\n", index, disk->name, media_name(disk->disk_type),
               (int)disk->disk_size);
        for (slot = 0; slot < D88_TRACK_MAX; ++slot) {
            const d88_track* track = &disk->track[slot];
            if (track->sectors != NULL)
                printf("  track %3d: C %u H %u, %d sectors\n", slot, (unsigned)track->sectors[0].c,
                       (unsigned)track->sectors[0].h, (int)track->count);
        }
    }
}

int main(int argc, char** argv)
{
    int status = argc > 1 ? 0 : 1;
    int i;
    printf("d88ls, d88 library %d.%d.%d\n", D88_VERSION_MAJOR, D88_VERSION_MINOR, D88_VERSION_PATCH);
    for (i = 1; i < argc; ++i) {
        d88_image image = {0, NULL};
        if (read_d88_image_file(&image, argv[i]) < 0) {
            status = 1; /* the library has said why */
            continue;
        }
        printf("%s\n", argv[i]);
        list_image(&image);
        free_d88_image(&image, 0);
    }
    return status;
}
