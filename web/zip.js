// zip.js -- a plain ZIP archive, written by the page: every member stored
// (method 0) with its CRC-32 and sizes in its local header, a central
// directory, and the end record; names in UTF-8 with the UTF-8 flag (bit
// 11), times in the MS-DOS form.  Part of the page's script (assembled into
// one scope with page.js and files.js); on its own, makeZip is the one name
// it defines for others.  The archive says it was made on Unix, each member
// a plain file readable by all (mode 0644): so unzip takes the names as the
// bytes they are, where it would read the names of an archive made on
// MS-DOS in the code page of DOS unless its locale is UTF-8.

var CRC_TABLE = (function () {
  var table = new Uint32Array(256);
  for (var n = 0; n < 256; n++) {
    var c = n;
    for (var k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function crc32(bytes) {
  var c = 0xFFFFFFFF;
  for (var i = 0; i < bytes.length; i++) c = CRC_TABLE[(c ^ bytes[i]) & 0xFF] ^ (c >>> 8);
  return (c ^ 0xFFFFFFFF) >>> 0;
}

// A date [year, month, day, hour, minute, second] in the MS-DOS form:
// { date, time }; none, or one before 1980 (which it cannot hold), is
// 1980-01-01 00:00, the form's first day.
function dosTime(when) {
  if (!when || when[0] < 1980 || when[0] > 2107) return { date: (1 << 5) | 1, time: 0 };
  return { date: ((when[0] - 1980) << 9) | (when[1] << 5) | when[2], time: (when[3] << 11) | (when[4] << 5) | (when[5] >> 1) };
}

// The archive of members [{ name: text, bytes: Uint8Array, date }], in
// their order, as the bytes of a .zip file.
function makeZip(members) {
  var encoder = new TextEncoder();
  var parts = [], central = [], offset = 0, size = 0;
  members.forEach(function (member) {
    var name = encoder.encode(member.name), when = dosTime(member.date), crc = crc32(member.bytes);
    var local = new DataView(new ArrayBuffer(30));
    local.setUint32(0, 0x04034B50, true);  // local file header
    local.setUint16(4, 10, true);          // version needed: 1.0, stored
    local.setUint16(6, 0x0800, true);      // the name is UTF-8
    local.setUint16(8, 0, true);           // stored
    local.setUint16(10, when.time, true);
    local.setUint16(12, when.date, true);
    local.setUint32(14, crc, true);
    local.setUint32(18, member.bytes.length, true);
    local.setUint32(22, member.bytes.length, true);
    local.setUint16(26, name.length, true);
    local.setUint16(28, 0, true);
    var entry = new DataView(new ArrayBuffer(46));
    entry.setUint32(0, 0x02014B50, true);  // central directory header
    entry.setUint16(4, 0x0314, true);      // made by: Unix, 2.0
    entry.setUint16(6, 10, true);
    entry.setUint16(8, 0x0800, true);
    entry.setUint16(10, 0, true);
    entry.setUint16(12, when.time, true);
    entry.setUint16(14, when.date, true);
    entry.setUint32(16, crc, true);
    entry.setUint32(20, member.bytes.length, true);
    entry.setUint32(24, member.bytes.length, true);
    entry.setUint16(28, name.length, true);
    // extra field, comment, disk number, internal attributes: 0
    entry.setUint32(38, 0o100644 * 0x10000, true);  // a regular file, rw-r--r--
    entry.setUint32(42, offset, true);
    parts.push(new Uint8Array(local.buffer), name, member.bytes);
    central.push(new Uint8Array(entry.buffer), name);
    offset += 30 + name.length + member.bytes.length;
    size += 46 + name.length;
  });
  var end = new DataView(new ArrayBuffer(22));
  end.setUint32(0, 0x06054B50, true);      // end of central directory
  end.setUint16(8, members.length, true);  // entries on this disk
  end.setUint16(10, members.length, true); // entries in all
  end.setUint32(12, size, true);
  end.setUint32(16, offset, true);
  var all = parts.concat(central, [new Uint8Array(end.buffer)]);
  var zip = new Uint8Array(offset + size + 22), at = 0;
  all.forEach(function (part) { zip.set(part, at); at += part.length; });
  return zip;
}
