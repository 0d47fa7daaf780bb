// _native.cpp -- the d88 library for the Python package: each function
// takes and returns plain Python values, and collects the library's lines
// instead of letting them be printed.  A function that can fail returns
// (result, lines), result None after a failure; d88/__init__.py raises.
//
// A disk travels as (name: 17 bytes, reserved: 9 bytes, write_protect,
// media, raw), raw being the disk's bytes as the library's writer lays them
// out; a sector as (c, h, r, n, density, deleted_mark, status, reserved: 5
// bytes, data).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdlib>
#include <cstring>

#include "d88.h"
#include "core/message.h"
#include "core/standard_formats.h"
#include "job.h"

namespace {

// A new reference to o (Py_NewRef came with Python 3.10).
PyObject* new_ref(PyObject* o)
{
    Py_INCREF(o);
    return o;
}

// The lines the library reports during one call, as bytes without their
// newlines: a line may hold a disk's Shift_JIS name or a path in the
// system's bytes, which d88/__init__.py decodes.
void collect_line(const char* line, void* context)
{
    PyObject* lines = static_cast<PyObject*>(context);
    const size_t length = std::strlen(line);
    PyObject* text = PyBytes_FromStringAndSize(line, static_cast<Py_ssize_t>(length > 0 ? length - 1 : 0));
    if (text != nullptr)
        PyList_Append(lines, text);
    Py_XDECREF(text);
    PyErr_Clear();
}

// Runs one call of the library with its lines collected: (result, lines),
// result None when the call gave null; null with a Python error pending when
// Python itself failed.
template <class Call>
PyObject* with_lines(Call call)
{
    PyObject* lines = PyList_New(0);
    if (lines == nullptr)
        return nullptr;
    const d88_message_route found = take_d88_messages(collect_line, lines);
    PyObject* result = call();
    give_back_d88_messages(found);
    if (result == nullptr && PyErr_Occurred()) {
        Py_DECREF(lines);
        return nullptr;
    }
    if (result == nullptr)
        result = new_ref(Py_None);
    return Py_BuildValue("(NN)", result, lines);
}

// The disk's bytes as the writer lays them out, as a new bytes object.
PyObject* disk_bytes(const d88_disk* disk)
{
    const int32_t size = calc_d88_disk_size(disk);
    if (size < 0)
        return PyErr_Format(PyExc_ValueError, "the disk is too large to be written");
    PyObject* raw = PyBytes_FromStringAndSize(nullptr, size);
    if (raw == nullptr)
        return nullptr;
    uint8_t* end = nullptr;
    write_d88_disk_to_buffer(disk, reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(raw)), &end, size);
    return raw;
}

PyObject* disk_tuple(const d88_disk* disk)
{
    return Py_BuildValue("(y#y#iiN)", disk->name, static_cast<Py_ssize_t>(sizeof disk->name), disk->reserved,
                         static_cast<Py_ssize_t>(sizeof disk->reserved), disk->write_protect, disk->disk_type,
                         disk_bytes(disk));
}

// The disks of an image read, or null after a Python error.
PyObject* disk_list(const d88_image& image)
{
    PyObject* disks = PyList_New(0);
    for (const d88_disk* disk = image.disks; disks != nullptr && disk != nullptr; disk = disk->next) {
        PyObject* one = disk_tuple(disk);
        if (one == nullptr || PyList_Append(disks, one) < 0)
            Py_CLEAR(disks);
        Py_XDECREF(one);
    }
    return disks;
}

PyObject* read_file(PyObject*, PyObject* args)
{
    const char* path = nullptr;
    if (!PyArg_ParseTuple(args, "y", &path))
        return nullptr;
    return with_lines([&]() -> PyObject* {
        d88_image image = {};
        PyObject* disks = read_d88_image_file(&image, path) >= 0 ? disk_list(image) : nullptr;
        free_d88_image(&image, 0);
        return disks;
    });
}

// The 164 slots of a disk's raw bytes as lists of sector tuples.
PyObject* parse_disk(PyObject*, PyObject* args)
{
    Py_buffer raw;
    if (!PyArg_ParseTuple(args, "y*", &raw))
        return nullptr;
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    PyObject* slots = nullptr;
    const d88_message_route found = take_d88_messages([](const char*, void*) {}, nullptr);
    if (disk != nullptr && raw.len <= INT32_MAX &&
        read_d88_disk_from_buffer(disk, static_cast<const uint8_t*>(raw.buf), static_cast<int32_t>(raw.len)) == 0)
        slots = PyList_New(D88_TRACK_MAX);
    give_back_d88_messages(found);
    if (slots == nullptr && !PyErr_Occurred())
        PyErr_SetString(PyExc_ValueError, "not the bytes of a whole disk");
    for (int slot = 0; slots != nullptr && slot < D88_TRACK_MAX; ++slot) {
        const d88_track& track = disk->track[slot];
        PyObject* sectors = PyList_New(track.sectors != nullptr ? track.count : 0);
        for (int32_t i = 0; sectors != nullptr && track.sectors != nullptr && i < track.count; ++i) {
            const d88_sector& s = track.sectors[i];
            PyObject* one = Py_BuildValue("(iiiiiiiy#y#)", s.c, s.h, s.r, s.n, s.density, s.deleted_mark, s.status,
                                          s.reserved, static_cast<Py_ssize_t>(sizeof s.reserved),
                                          s.data != nullptr ? reinterpret_cast<const char*>(s.data) : "",
                                          static_cast<Py_ssize_t>(s.data_size));
            if (one == nullptr)
                Py_CLEAR(sectors);
            else
                PyList_SET_ITEM(sectors, i, one);
        }
        if (sectors == nullptr)
            Py_CLEAR(slots);
        else
            PyList_SET_ITEM(slots, slot, sectors);
    }
    free_d88_disk(disk, 1);
    PyBuffer_Release(&raw);
    return slots;
}

// A byte of a sector or disk field: false after a ValueError.
bool take_byte(PyObject* value, const char* what, uint8_t* out)
{
    const long v = PyLong_AsLong(value);
    if (v == -1 && PyErr_Occurred())
        return false;
    if (v < 0 || v > 255) {
        PyErr_Format(PyExc_ValueError, "%s must be from 0 to 255, not %ld", what, v);
        return false;
    }
    *out = static_cast<uint8_t>(v);
    return true;
}

// Fills a sector record from its tuple; its data is a new buffer.
bool take_sector(PyObject* tuple, d88_sector* s)
{
    static const char* const FIELDS[] = {"c", "h", "r", "n", "density", "deleted_mark", "status"};
    uint8_t* bytes[] = {&s->c, &s->h, &s->r, &s->n, &s->density, &s->deleted_mark, &s->status};
    if (!PyTuple_Check(tuple) || PyTuple_GET_SIZE(tuple) != 9) {
        PyErr_SetString(PyExc_TypeError, "a sector is (c, h, r, n, density, deleted_mark, status, reserved, data)");
        return false;
    }
    for (int i = 0; i < 7; ++i) {
        if (!take_byte(PyTuple_GET_ITEM(tuple, i), FIELDS[i], bytes[i]))
            return false;
    }
    char* reserved = nullptr;
    char* data = nullptr;
    Py_ssize_t reserved_size = 0, data_size = 0;
    if (PyBytes_AsStringAndSize(PyTuple_GET_ITEM(tuple, 7), &reserved, &reserved_size) < 0 ||
        PyBytes_AsStringAndSize(PyTuple_GET_ITEM(tuple, 8), &data, &data_size) < 0)
        return false;
    if (reserved_size != static_cast<Py_ssize_t>(sizeof s->reserved) || data_size > 0x7FFF) {
        PyErr_SetString(PyExc_ValueError, "a sector holds 5 reserved bytes and at most 32767 bytes of data");
        return false;
    }
    std::memcpy(s->reserved, reserved, sizeof s->reserved);
    s->data_size = static_cast<int16_t>(data_size);
    if (data_size > 0 && (s->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(data_size)))) == nullptr) {
        PyErr_NoMemory();
        return false;
    }
    if (data_size > 0)
        std::memcpy(s->data, data, static_cast<size_t>(data_size));
    return true;
}

// Fills a disk's slots from 164 lists of sector tuples.
bool take_tracks(PyObject* slots, d88_disk* disk)
{
    if (!PyList_Check(slots) || PyList_GET_SIZE(slots) != D88_TRACK_MAX) {
        PyErr_SetString(PyExc_ValueError, "a disk has 164 track slots");
        return false;
    }
    for (int slot = 0; slot < D88_TRACK_MAX; ++slot) {
        PyObject* sectors = PyList_GET_ITEM(slots, slot);
        const Py_ssize_t count = PyList_Check(sectors) ? PyList_GET_SIZE(sectors) : -1;
        if (count < 0 || count > UINT16_MAX) {
            PyErr_SetString(PyExc_ValueError, "a track slot holds a list of at most 65535 sectors");
            return false;
        }
        if (count == 0)
            continue;
        d88_track& track = disk->track[slot];
        track.sectors = static_cast<d88_sector*>(std::calloc(static_cast<size_t>(count), sizeof(d88_sector)));
        if (track.sectors == nullptr) {
            PyErr_NoMemory();
            return false;
        }
        track.count = static_cast<int32_t>(count);
        for (Py_ssize_t i = 0; i < count; ++i) {
            if (!take_sector(PyList_GET_ITEM(sectors, i), &track.sectors[i]))
                return false;
        }
    }
    return true;
}

// A disk's raw bytes from its fields and slots.
PyObject* serialise_disk(PyObject*, PyObject* args)
{
    const char *name = nullptr, *reserved = nullptr;
    Py_ssize_t name_size = 0, reserved_size = 0;
    int write_protect = 0, media = 0;
    PyObject* slots = nullptr;
    if (!PyArg_ParseTuple(args, "y#y#iiO", &name, &name_size, &reserved, &reserved_size, &write_protect, &media, &slots))
        return nullptr;
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    if (disk == nullptr)
        return PyErr_NoMemory();
    std::memcpy(disk->name, name, name_size < 17 ? static_cast<size_t>(name_size) : 17);
    std::memcpy(disk->reserved, reserved, reserved_size < 9 ? static_cast<size_t>(reserved_size) : 9);
    disk->write_protect = static_cast<uint8_t>(write_protect);
    disk->disk_type = static_cast<uint8_t>(media);
    PyObject* raw = take_tracks(slots, disk) ? disk_bytes(disk) : nullptr;
    free_d88_disk(disk, 1);
    return raw;
}

PyObject* store(PyObject*, PyObject* args)
{
    const char* path = nullptr;
    Py_buffer data;
    if (!PyArg_ParseTuple(args, "yy*", &path, &data))
        return nullptr;
    PyObject* result = with_lines([&]() -> PyObject* {
        const bool stored = data.len <= INT32_MAX &&
                            store_d88_file(path, static_cast<const uint8_t*>(data.buf), static_cast<int32_t>(data.len)) == 0;
        return stored ? new_ref(Py_True) : nullptr;
    });
    PyBuffer_Release(&data);
    return result;
}

PyObject* create_disk(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    Py_ssize_t name_size = 0;
    int format = 0;
    if (!PyArg_ParseTuple(args, "y#i", &name, &name_size, &format))
        return nullptr;
    return with_lines([&]() -> PyObject* {
        d88_disk* disk = create_d88_disk(name_size > 0 ? name : nullptr, format);
        PyObject* one = disk != nullptr ? disk_tuple(disk) : nullptr;
        free_d88_disk(disk, 1);
        return one;
    });
}

PyObject* format_names(PyObject*, PyObject*)
{
    PyObject* names = PyList_New(D88_FORMAT_COUNT);
    for (int32_t i = 0; names != nullptr && i < D88_FORMAT_COUNT; ++i)
        PyList_SET_ITEM(names, i, PyUnicode_FromString(d88_format_table[i].name));
    return names;
}

PyObject* file_formats(PyObject*, PyObject*)
{
    PyObject* names = PyList_New(D88_FILE_FORMAT_COUNT);
    for (int32_t i = 0; names != nullptr && i < D88_FILE_FORMAT_COUNT; ++i)
        PyList_SET_ITEM(names, i, PyUnicode_FromString(d88_file_format_name(i)));
    return names;
}

// The job of (game, data1, data2, name1, name2, name3, index, track): each
// image its bytes (None: not given) and the name its lines use.  The
// caller releases the buffers.  False with a Python error pending.
bool parse_job(PyObject* args, Py_buffer images[JOB_IMAGE_COUNT], job* request)
{
    const char* names[JOB_IMAGE_COUNT] = {};
    int index = 0, track = ALL_TRACKS;
    if (!PyArg_ParseTuple(args, "y*z*z*yyyii", &images[0], &images[1], &images[2], &names[0], &names[1], &names[2],
                          &index, &track))
        return false;
    *request = {{}, static_cast<uint32_t>(index), track};
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        if (images[i].buf != nullptr)
            request->image[i] = {names[i], static_cast<const uint8_t*>(images[i].buf), static_cast<int32_t>(images[i].len)};
    }
    return true;
}

void release_buffers(Py_buffer images[JOB_IMAGE_COUNT])
{
    for (int i = 0; i < JOB_IMAGE_COUNT; ++i) {
        if (images[i].obj != nullptr)
            PyBuffer_Release(&images[i]);
    }
}

// The job of vorkast on the bytes of three images; the completed game
// image's bytes.
PyObject* complete(PyObject*, PyObject* args)
{
    Py_buffer images[JOB_IMAGE_COUNT] = {};
    job request = {};
    if (!parse_job(args, images, &request))
        return nullptr;
    PyObject* result = with_lines([&]() -> PyObject* {
        if (!check_job_images(&request))
            return nullptr;
        job_state state = {};
        uint8_t* out = nullptr;
        int32_t size = 0;
        PyObject* bytes = nullptr;
        if (complete_job(request, &state) == 0 && write_d88_image_to_buffer(&state.image[JOB_GAME], &out, &size) == 0)
            bytes = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(out), size);
        std::free(out);
        release_job(&state);
        return bytes;
    });
    release_buffers(images);
    return result;
}

// One finding of the job: (severity, kind, track, image, c, h, r, message),
// the image as the bytes of its name or None.
void add_job_finding(const job_finding* f, void* context)
{
    PyObject* one = Py_BuildValue("(isiy#iiis)", f->severity, d88_finding_kind_name(f->kind), f->track, f->image,
                                  static_cast<Py_ssize_t>(f->image != nullptr ? std::strlen(f->image) : 0), f->c, f->h,
                                  f->r, f->message);
    if (one != nullptr)
        PyList_Append(static_cast<PyObject*>(context), one);
    Py_XDECREF(one);
}

// The job checked for every selected track, each image given as its bytes
// (None: not given) and its name: (tracks, ready, findings).
PyObject* check_job(PyObject*, PyObject* args)
{
    Py_buffer images[JOB_IMAGE_COUNT] = {};
    job request = {};
    if (!parse_job(args, images, &request))
        return nullptr;
    PyObject* findings = PyList_New(0);
    job_readiness readiness = {0, 0};
    if (findings != nullptr && check_job(request, add_job_finding, findings, &readiness) < 0)
        Py_CLEAR(findings);
    release_buffers(images);
    if (findings == nullptr)
        return PyErr_Occurred() ? nullptr : PyErr_NoMemory();
    return Py_BuildValue("(iiN)", readiness.tracks, readiness.ready, findings);
}

void add_finding(const d88_finding* f, void* context)
{
    PyObject* one = Py_BuildValue("(isiiiiiiis)", f->severity, f->kind, f->disk, f->slot, f->index, f->c, f->h, f->r,
                                  f->offset, f->message);
    if (one != nullptr)
        PyList_Append(static_cast<PyObject*>(context), one);
    Py_XDECREF(one);
}

PyObject* scan(PyObject*, PyObject* args)
{
    Py_buffer data;
    if (!PyArg_ParseTuple(args, "y*", &data))
        return nullptr;
    PyObject* findings = data.len <= INT32_MAX ? PyList_New(0) : nullptr;
    if (findings == nullptr && !PyErr_Occurred())
        PyErr_SetString(PyExc_ValueError, "an image holds less than 2 GiB");
    if (findings != nullptr &&
        scan_d88_image(static_cast<const uint8_t*>(data.buf), static_cast<int32_t>(data.len), add_finding, findings, nullptr) < 0)
        Py_CLEAR(findings);
    if (findings != nullptr && PyErr_Occurred())
        Py_CLEAR(findings);
    PyBuffer_Release(&data);
    return findings != nullptr || PyErr_Occurred() ? findings : PyErr_NoMemory();
}

// The bytes of an image of a format (D88 among them), read as D88 disks.
PyObject* import_image(PyObject*, PyObject* args)
{
    Py_buffer data;
    int format = 0;
    if (!PyArg_ParseTuple(args, "y*i", &data, &format))
        return nullptr;
    PyObject* result = nullptr;
    if (data.len > INT32_MAX) {
        PyErr_SetString(PyExc_ValueError, "an image holds less than 2 GiB");
    } else {
        result = with_lines([&]() -> PyObject* {
            d88_image image = {};
            PyObject* disks = import_d88_image(&image, static_cast<const uint8_t*>(data.buf), static_cast<int32_t>(data.len), format) >= 0
                                  ? disk_list(image)
                                  : nullptr;
            free_d88_image(&image, 0);
            return disks;
        });
    }
    PyBuffer_Release(&data);
    return result;
}

// One disk, given as its D88 bytes, in another format (SCP with
// `revolutions` revolutions of each track): (bytes or None, lines,
// findings), bytes None when losses stopped it (or on a failure, which the
// lines say).  The findings are every loss and note, forced or not.
PyObject* export_disk(PyObject*, PyObject* args)
{
    Py_buffer data;
    int format = 0, force = 0, rpm = 0, revolutions = 1;
    if (!PyArg_ParseTuple(args, "y*iii|i", &data, &format, &force, &rpm, &revolutions))
        return nullptr;
    PyObject* findings = PyList_New(0);
    PyObject* lines = PyList_New(0);
    PyObject* bytes = nullptr;
    if (findings != nullptr && lines != nullptr) {
        const d88_message_route found = take_d88_messages(collect_line, lines);
        d88_image image = {};
        uint8_t* out = nullptr;
        int32_t size = 0;
        const d88_export_options options = {force, rpm};
        const bool read = data.len <= INT32_MAX &&
                          read_d88_image_from_buffer(&image, static_cast<const uint8_t*>(data.buf), static_cast<int32_t>(data.len)) == 1;
        const int32_t losses =
            !read ? -1
            : format == D88_FILE_SCP ? export_d88_scp_disk(image.disks, &options, revolutions, add_finding, findings, &out, &size)
                                     : export_d88_disk(image.disks, format, &options, add_finding, findings, &out, &size);
        if (losses >= 0 && out != nullptr)
            bytes = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(out), size);
        std::free(out);
        free_d88_image(&image, 0);
        give_back_d88_messages(found);
    }
    PyBuffer_Release(&data);
    if (findings == nullptr || lines == nullptr || PyErr_Occurred()) {
        Py_XDECREF(findings);
        Py_XDECREF(lines);
        Py_XDECREF(bytes);
        return PyErr_Occurred() ? nullptr : PyErr_NoMemory();
    }
    return Py_BuildValue("(NNN)", bytes != nullptr ? bytes : new_ref(Py_None), lines, findings);
}

// A flux dump read as one disk: the bytes of an SCP file (one) or of
// KryoFlux stream files with the track slot of each: (disks | None, lines,
// findings), the findings what is not plain about its tracks.
PyObject* import_flux(PyObject*, PyObject* args)
{
    int format = 0;
    PyObject *files = nullptr, *slot_list = nullptr;
    if (!PyArg_ParseTuple(args, "iO!O!", &format, &PyList_Type, &files, &PyList_Type, &slot_list))
        return nullptr;
    const Py_ssize_t count = PyList_GET_SIZE(files);
    if (count != PyList_GET_SIZE(slot_list) || count > INT32_MAX) {
        PyErr_SetString(PyExc_ValueError, "one slot for each file");
        return nullptr;
    }
    const size_t room = count > 0 ? static_cast<size_t>(count) : 1;
    const uint8_t** buffers = static_cast<const uint8_t**>(std::calloc(room, sizeof(uint8_t*)));
    int32_t* sizes = static_cast<int32_t*>(std::calloc(room, sizeof(int32_t)));
    int32_t* slots = static_cast<int32_t*>(std::calloc(room, sizeof(int32_t)));
    if (buffers == nullptr || sizes == nullptr || slots == nullptr)
        PyErr_NoMemory();
    for (Py_ssize_t i = 0; !PyErr_Occurred() && i < count; ++i) {
        char* bytes = nullptr;
        Py_ssize_t size = 0;
        const long slot = PyLong_AsLong(PyList_GET_ITEM(slot_list, i));
        if (PyBytes_AsStringAndSize(PyList_GET_ITEM(files, i), &bytes, &size) < 0 || PyErr_Occurred())
            break;
        if (size > INT32_MAX || slot < 0 || slot > 0xFFFF) {
            PyErr_SetString(PyExc_ValueError, size > INT32_MAX ? "a flux file holds less than 2 GiB" : "a slot is from 0 to 65535");
            break;
        }
        buffers[i] = reinterpret_cast<const uint8_t*>(bytes);
        sizes[i] = static_cast<int32_t>(size);
        slots[i] = static_cast<int32_t>(slot);
    }
    PyObject* findings = PyErr_Occurred() ? nullptr : PyList_New(0);
    PyObject* read = findings == nullptr ? nullptr : with_lines([&]() -> PyObject* {
        d88_image image = {};
        PyObject* disks = import_d88_flux_image(&image, format, buffers, sizes, slots, static_cast<int32_t>(count), add_finding,
                                                nullptr, findings) >= 0
                              ? disk_list(image)
                              : nullptr;
        free_d88_image(&image, 0);
        return disks;
    });
    std::free(buffers);
    std::free(sizes);
    std::free(slots);
    PyObject* out = read != nullptr && !PyErr_Occurred()
                        ? Py_BuildValue("(OOO)", PyTuple_GET_ITEM(read, 0), PyTuple_GET_ITEM(read, 1), findings)
                        : nullptr;
    Py_XDECREF(read);
    Py_XDECREF(findings);
    return out;
}

// The format a name or a path's extension names, -1 for none.
PyObject* find_format(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "y", &name))
        return nullptr;
    return PyLong_FromLong(find_d88_file_format(name));
}

// The format bytes are by their content, -1 for none.
PyObject* detect_format(PyObject*, PyObject* args)
{
    Py_buffer data;
    if (!PyArg_ParseTuple(args, "y*", &data))
        return nullptr;
    const int32_t format = data.len <= INT32_MAX
                               ? detect_d88_file_format(static_cast<const uint8_t*>(data.buf), static_cast<int32_t>(data.len))
                               : -1;
    PyBuffer_Release(&data);
    return PyLong_FromLong(format);
}

PyObject* version(PyObject*, PyObject*)
{
    return PyUnicode_FromString(D88_VERSION_STRING);
}

// A disk record read from its D88 bytes, or null after a ValueError.
d88_disk* take_disk(const Py_buffer& raw)
{
    d88_disk* disk = static_cast<d88_disk*>(std::calloc(1, sizeof(d88_disk)));
    const d88_message_route found = take_d88_messages([](const char*, void*) {}, nullptr);
    const bool read = disk != nullptr && raw.len <= INT32_MAX &&
                      read_d88_disk_from_buffer(disk, static_cast<const uint8_t*>(raw.buf), static_cast<int32_t>(raw.len)) == 0;
    give_back_d88_messages(found);
    if (read)
        return disk;
    free_d88_disk(disk, 1);
    PyErr_SetString(disk != nullptr ? PyExc_ValueError : PyExc_MemoryError, "not the bytes of a whole disk");
    return nullptr;
}

PyObject* entry_tuple(const d88_file_entry& e)
{
    return Py_BuildValue("(y#iisiiii(iiiiii))", e.name, static_cast<Py_ssize_t>(std::strlen(e.name)), e.type,
                         e.attributes, e.flags, e.size, e.start, e.load, e.exec, e.year, e.month, e.day, e.hour,
                         e.minute, e.second);
}

// The file system a disk holds: its number, -1 for none, -2 for several.
PyObject* find_file_system(PyObject*, PyObject* args)
{
    Py_buffer raw;
    if (!PyArg_ParseTuple(args, "y*", &raw))
        return nullptr;
    d88_disk* disk = take_disk(raw);
    PyBuffer_Release(&raw);
    if (disk == nullptr)
        return nullptr;
    const int32_t fs = find_d88_fs_of_disk(disk);
    free_d88_disk(disk, 1);
    return PyLong_FromLong(fs);
}

// The files of a disk's file system: (entries | None, lines, findings,
// bytes free).
PyObject* list_files(PyObject*, PyObject* args)
{
    Py_buffer raw;
    int fs = -1;
    if (!PyArg_ParseTuple(args, "y*i", &raw, &fs))
        return nullptr;
    d88_disk* disk = take_disk(raw);
    PyBuffer_Release(&raw);
    PyObject* findings = disk != nullptr ? PyList_New(0) : nullptr;
    int32_t free_bytes = 0;
    PyObject* listed = findings == nullptr ? nullptr : with_lines([&]() -> PyObject* {
        d88_file_entry* entries = nullptr;
        const int32_t count = list_d88_files(disk, fs, &entries, &free_bytes, add_finding, findings);
        PyObject* list = count >= 0 ? PyList_New(count) : nullptr;
        for (int32_t i = 0; list != nullptr && i < count; ++i) {
            PyObject* one = entry_tuple(entries[i]);
            if (one == nullptr)
                Py_CLEAR(list);
            else
                PyList_SET_ITEM(list, i, one);
        }
        std::free(entries);
        return list;
    });
    free_d88_disk(disk, 1);
    PyObject* out = listed != nullptr && !PyErr_Occurred()
                        ? Py_BuildValue("(OOOi)", PyTuple_GET_ITEM(listed, 0), PyTuple_GET_ITEM(listed, 1), findings,
                                        free_bytes)
                        : nullptr;
    Py_XDECREF(listed);
    Py_XDECREF(findings);
    return out;
}

// The data of one file: (bytes | None, lines).
PyObject* read_file_data(PyObject*, PyObject* args)
{
    Py_buffer raw;
    int fs = -1;
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "y*iy", &raw, &fs, &name))
        return nullptr;
    d88_disk* disk = take_disk(raw);
    PyBuffer_Release(&raw);
    if (disk == nullptr)
        return nullptr;
    PyObject* result = with_lines([&]() -> PyObject* {
        uint8_t* data = nullptr;
        int32_t size = 0;
        PyObject* out = read_d88_file(disk, fs, name, &data, &size) == 0
                            ? PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data), size)
                            : nullptr;
        std::free(data);
        return out;
    });
    free_d88_disk(disk, 1);
    return result;
}

// A disk changed by one operation on its file system: "add" (name, data,
// type, load, exec, date), "remove" (name) or "format": (the disk's new
// bytes | None, lines).
PyObject* change_files(PyObject*, PyObject* args)
{
    Py_buffer raw, data;
    int fs = -1;
    const char* operation = nullptr;
    const char* name = nullptr;
    d88_file_options options = {0, -1, -1, 0, 0, 0, 0, 0, 0};
    if (!PyArg_ParseTuple(args, "y*isyy*iii(iiiiii)", &raw, &fs, &operation, &name, &data, &options.type,
                          &options.load, &options.exec, &options.year, &options.month, &options.day, &options.hour,
                          &options.minute, &options.second))
        return nullptr;
    d88_disk* disk = take_disk(raw);
    PyObject* result = disk == nullptr ? nullptr : with_lines([&]() -> PyObject* {
        const int32_t done = std::strcmp(operation, "format") == 0   ? format_d88_files(disk, fs)
                             : std::strcmp(operation, "remove") == 0 ? delete_d88_file(disk, fs, name)
                             : data.len > INT32_MAX ? -1
                                                    : write_d88_file(disk, fs, name, static_cast<const uint8_t*>(data.buf),
                                                                     static_cast<int32_t>(data.len), &options);
        return done == 0 ? disk_bytes(disk) : nullptr;
    });
    free_d88_disk(disk, 1);
    PyBuffer_Release(&raw);
    PyBuffer_Release(&data);
    return result;
}

// Whether a file of the name is on a disk: ((1, entry) | (0, None) |
// None, lines).
PyObject* find_file(PyObject*, PyObject* args)
{
    Py_buffer raw;
    int fs = -1;
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "y*iy", &raw, &fs, &name))
        return nullptr;
    d88_disk* disk = take_disk(raw);
    PyBuffer_Release(&raw);
    if (disk == nullptr)
        return nullptr;
    PyObject* result = with_lines([&]() -> PyObject* {
        d88_file_entry entry;
        const int32_t found = find_d88_file(disk, fs, name, &entry);
        return found < 0 ? nullptr : found == 0 ? Py_BuildValue("(iO)", 0, Py_None)
                                                : Py_BuildValue("(iN)", 1, entry_tuple(entry));
    });
    free_d88_disk(disk, 1);
    return result;
}

// What a format would erase: ((held, fs, description | None, files,
// sectors, c, h, r) | None, lines).
PyObject* disk_contents(PyObject*, PyObject* args)
{
    Py_buffer raw;
    if (!PyArg_ParseTuple(args, "y*", &raw))
        return nullptr;
    d88_disk* disk = take_disk(raw);
    PyBuffer_Release(&raw);
    if (disk == nullptr)
        return nullptr;
    PyObject* result = with_lines([&]() -> PyObject* {
        d88_disk_contents c;
        const int32_t held = find_d88_disk_contents(disk, &c);
        const char* described = c.fs >= 0 ? describe_d88_fs(disk, c.fs) : nullptr;
        return held < 0 ? nullptr : Py_BuildValue("(iiziiiii)", held, c.fs, described, c.files, c.sectors, c.c, c.h, c.r);
    });
    free_d88_disk(disk, 1);
    return result;
}

// The bytes of the file at path, as the library loads them.
PyObject* load(PyObject*, PyObject* args)
{
    const char* path = nullptr;
    if (!PyArg_ParseTuple(args, "y", &path))
        return nullptr;
    return with_lines([&]() -> PyObject* {
        int32_t size = 0;
        uint8_t* bytes = load_d88_file(path, &size);
        PyObject* result = bytes != nullptr ? PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes), size) : nullptr;
        std::free(bytes);
        return result;
    });
}

PyMethodDef METHODS[] = {
    {"read_file", read_file, METH_VARARGS, "(path) -> (disks | None, lines)"},
    {"parse_disk", parse_disk, METH_VARARGS, "(raw) -> 164 lists of sectors"},
    {"serialise_disk", serialise_disk, METH_VARARGS, "(name, reserved, write_protect, media, slots) -> raw"},
    {"store", store, METH_VARARGS, "(path, data) -> (True | None, lines)"},
    {"create_disk", create_disk, METH_VARARGS, "(name, format) -> (disk | None, lines); b\"\" for no name"},
    {"format_names", format_names, METH_NOARGS, "() -> the names of the ten formats"},
    {"complete", complete, METH_VARARGS, "(game, data1, data2, name1, name2, name3, index, track) -> (bytes | None, lines)"},
    {"scan", scan, METH_VARARGS, "(data) -> findings"},
    {"check_job", check_job, METH_VARARGS, "(game, data1, data2, name1, name2, name3, index, track) -> (tracks, ready, findings)"},
    {"load", load, METH_VARARGS, "(path) -> (bytes | None, lines)"},
    {"import_image", import_image, METH_VARARGS, "(data, format) -> (disks | None, lines)"},
    {"export_disk", export_disk, METH_VARARGS,
     "(disk's D88 bytes, format, force, rpm[, revolutions]) -> (bytes | None, lines, findings)"},
    {"import_flux", import_flux, METH_VARARGS, "(format, files' bytes, slots) -> (disks | None, lines, findings)"},
    {"find_format", find_format, METH_VARARGS, "(name or path) -> format, -1 for none"},
    {"detect_format", detect_format, METH_VARARGS, "(data) -> format by content, -1 for none"},
    {"version", version, METH_NOARGS, "() -> the library's version"},
    {"file_formats", file_formats, METH_NOARGS, "() -> the names of the image formats, by number"},
    {"find_file_system", find_file_system, METH_VARARGS, "(disk's D88 bytes) -> fs, -1 for none, -2 for several"},
    {"list_files", list_files, METH_VARARGS, "(disk's bytes, fs) -> (entries | None, lines, findings, bytes free)"},
    {"read_file_data", read_file_data, METH_VARARGS, "(disk's bytes, fs, name) -> (bytes | None, lines)"},
    {"find_file", find_file, METH_VARARGS, "(disk's bytes, fs, name) -> ((found, entry | None) | None, lines)"},
    {"disk_contents", disk_contents, METH_VARARGS,
     "(disk's bytes) -> ((held, fs, description, files, sectors, c, h, r) | None, lines)"},
    {"change_files", change_files, METH_VARARGS,
     "(disk's bytes, fs, operation, name, data, type, load, exec, date) -> (disk's bytes | None, lines)"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef MODULE = {PyModuleDef_HEAD_INIT, "d88._native", "The d88 library, underneath the d88 package.", -1, METHODS,
                      nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__native(void)
{
    return PyModule_Create(&MODULE);
}
