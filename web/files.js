// files.js -- the files inside the disk shown, as d88disk ls, get, put, rm
// and format handle them: listed (FAT12's folders entered), each saved,
// all saved as one ZIP (zip.js), files dropped or picked added, a file
// deleted, the disk formatted; with d88disk's refusals (a full disk, a name
// already there, a disk that holds something, a write-protected disk), a
// refused change leaving the image as it was.  Each change is kept for
// undo, and the image then saved as page.js saves it.  Part of the page's
// script (see page.html).

var FS_NAMES = ['n88', 'hu', 'fat12'];
var TYPES = { '': 0, bin: 1, bas: 2, asc: 3 };  // d88_file_options.type
var fileNews = [];  // what the last action on the files said, each { say(), lines, offers: [{ label(), action }] }

function isLead(b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// A stored name for people, as d88disk shows it: its bytes decoded from
// Shift_JIS (of which JIS X 0201 is part), each byte that is no part of a
// character, and each control byte, shown as '.'.
function showName(bytes) {
  var text = '';
  for (var i = 0; i < bytes.length;) {
    var count = isLead(bytes[i]) && i + 1 < bytes.length ? 2 : 1;
    var decoded = bytes[i] < 0x20 ? '' : SHIFT_JIS.decode(new Uint8Array(bytes.slice(i, i + count)));
    var whole = decoded !== '' && decoded.indexOf('\uFFFD') < 0;
    text += whole ? decoded : '.';
    i += whole ? count : 1;
  }
  return text;
}
// A name as the name of a file saved from the disk (d88disk get's): each
// slash, backslash or colon as '_'.
function folderName(bytes) { return showName(bytes).replace(/[\/\\:]/g, '_'); }

// Stored names joined by '/': a path in a FAT12 folder.
function joinPath(names) {
  var bytes = [];
  names.forEach(function (name, i) {
    if (i > 0) bytes.push(0x2F);
    bytes.push.apply(bytes, name);
  });
  return bytes;
}

// The directory `names` leads to (the root for none) of the disk shown:
// { listing (vorkast_web_files's JSON, or null), lines }.
function listDirectory(names) {
  var out = call([shownFile()], function (a, keep) {
    return takeText(Module._vorkast_web_files(a[0][0], a[0][1], a[0][2], shown.disk, shown.fs, keep(putName(joinPath(names)))));
  });
  return { listing: out.result ? JSON.parse(out.result) : null, lines: out.lines };
}

// The data of the file at path (stored names) of the disk shown:
// { bytes (null when it cannot be read), lines }.
function readStored(path) {
  var out = call([shownFile()], function (a, keep) {
    var sizePointer = keep(allocate(4));
    var shownName = path.map(showName).join('/');
    return takeBytes(Module._vorkast_web_read_file(a[0][0], a[0][1], a[0][2], shown.disk, shown.fs,
                                                   keep(putName(joinPath(path))), keep(putText(shownName)), sizePointer),
                     sizePointer);
  });
  return { bytes: out.result, lines: out.lines };
}

var isDot = function (e) { return e.type === 'dir' && /^\.\.?$/.test(showName(e.name)); };
var dateText = function (d) { return d ? d[0] + '-' + ('0' + d[1]).slice(-2) + '-' + ('0' + d[2]).slice(-2) + ' ' + ('0' + d[3]).slice(-2) + ':' + ('0' + d[4]).slice(-2) : ''; };

function showFiles() {
  var listed = listDirectory(shown.directory);
  var listing = shown.listing = listed.listing;
  var problem = $('files-problem'), body = $('files-body');
  problem.textContent = '';
  body.textContent = '';
  $('fs-findings').textContent = '';
  var ok = !!(listing && listing.files);
  var several = !!listing && (listing.fs === -2 || (shown.fs >= 0 && !ok));
  $('fs-choice').hidden = !several && shown.fs < 0;
  $('fs-read').value = String(shown.fs);
  $('fs-line').textContent = ok ? words().fsLine(listing, listing.files.filter(function (e) { return !isDot(e); }).length)
    : !listing ? words().cannotList : listing.fs === -1 ? words().noFs : listing.fs === -2 ? words().severalFs : words().cannotList;
  if (!ok && (!listing || listing.fs >= 0)) showConsole(problem, listed.lines);
  $('files-drop').hidden = !ok;
  // FAT12 keeps no type nor addresses; Hu-BASIC alone keeps addresses
  $('put-options').hidden = !ok || listing.name === 'fat12';
  $('put-addresses').hidden = !ok || listing.name !== 'hu';
  var folder = shown.directory.map(showName).join('/');
  $('folder').hidden = !folder;
  $('adding').hidden = !!folder;
  $('folder-text').textContent = folder ? words().inFolder(folder) : '';
  $('files-caption').textContent = words().filesCaption(folder);
  var disk = shown.disks[shown.disk];
  $('format-fs').value = String(ok && listing.fs >= 0 ? listing.fs : disk.type === 0 ? 0 : 2);
  showUndo();
  if (!ok) return;
  var entries = listing.files.filter(function (e) { return !isDot(e); });
  if (!entries.length) {
    var none = body.insertRow().insertCell();
    none.colSpan = 9;
    none.textContent = words().noFiles;
  }
  entries.forEach(function (entry) { body.appendChild(fileRow(entry, listing)); });
  showImageFindings($('fs-findings'), listing.findings);
}

function fileRow(entry, listing) {
  var row = document.createElement('tr'), name = showName(entry.name);
  var cells = [name, entry.type, hex2(entry.attributes) + (entry.flags ? ' ' + entry.flags : ''), String(entry.size),
               entry.cluster === null ? '-' : String(entry.cluster), entry.load === null ? '-' : hex4(entry.load),
               entry.exec === null ? '-' : hex4(entry.exec), dateText(entry.date)];
  cells.forEach(function (text, i) {
    var cell = document.createElement(i === 0 ? 'th' : 'td');
    if (i === 0) cell.scope = 'row';
    if (i === 3 || i === 4) cell.className = 'number';
    cell.textContent = text;
    row.appendChild(cell);
  });
  var actions = document.createElement('td');
  actions.className = 'file-actions';
  var root = shown.directory.length === 0;
  if (entry.type === 'dir' && listing.name === 'fat12' && entry.cluster !== null)
    button(actions, words().openButton, function () { openFolder(entry.name); }, words().openLabel(name));
  if (entry.type !== 'dir' && entry.type !== 'label')
    button(actions, words().getButton, function () { getFile(entry); }, words().getLabel(name));
  if (root && entry.type !== 'dir' && entry.type !== 'label')
    button(actions, words().deleteButton, function () { deleteFile(entry); }, words().deleteLabel(name));
  row.appendChild(actions);
  return row;
}

function openFolder(name) {
  shown.directory = shown.directory.concat([name]);
  fileNews = [];
  showFileNews(true);
  showFiles();
  $('up').focus();
}

// Saves one file, byte for byte as d88disk get extracts it.
function getFile(entry) {
  var read = readStored(shown.directory.concat([entry.name]));
  if (!read.bytes) {
    fileNews = [{ say: function () { return words().notRead(showName(entry.name)); }, lines: read.lines, offers: [] }];
    return showFileNews(true);
  }
  forget(download(folderName(entry.name), read.bytes));
}

// Every file of the disk shown, as d88disk get --all takes them (no
// folder, label or IPL entry), and those of FAT12's folders under their
// paths: [{ name, bytes, date }]; or { failed: name, lines }.
function collectFiles() {
  var members = [], seen = {};
  function walk(names, depth) {
    var listed = listDirectory(names);
    if (!listed.listing || !listed.listing.files) return { failed: names.map(showName).join('/'), lines: listed.lines };
    var entries = listed.listing.files;
    for (var i = 0; i < entries.length; i++) {
      var e = entries[i], path = names.concat([e.name]);
      if (e.type === 'dir' && !isDot(e) && listed.listing.name === 'fat12' && e.cluster !== null && depth < 16 && !seen[e.cluster]) {
        seen[e.cluster] = true;
        var failed = walk(path, depth + 1);
        if (failed) return failed;
      }
      if (e.type === 'dir' || e.type === 'label' || e.type === 'ipl') continue;
      var read = readStored(path);
      if (!read.bytes) return { failed: path.map(showName).join('/'), lines: read.lines };
      members.push({ name: path.map(folderName).join('/'), bytes: read.bytes, date: e.date });
    }
    return null;
  }
  return walk([], 0) || members;
}

function zipAll() {
  var found = collectFiles();
  if (found.failed !== undefined) {
    fileNews = [{ say: function () { return words().notRead(found.failed); }, lines: found.lines, offers: [] }];
    return showFileNews(true);
  }
  var stem = shown.name.replace(/\.[^.\/]*$/, '');
  forget(download(stem + (shown.disks.length > 1 ? '.' + shown.disk : '') + '.zip', makeZip(found), 'application/zip'));
}

// --- changes ----------------------------------------------------------------

// Makes a change through the module (body calls it as call() does and
// gives its web_result): when it is made, the image shown becomes the
// changed one, the old kept for undo as `what`.  { done, info (the
// change's JSON), lines }.
function change(what, body) {
  var out = call([shownFile()], body);
  var r = out.result, info = r && r.text ? JSON.parse(r.text) : {};
  var done = !!(r && r.status === 0 && r.bytes);
  if (done) {
    shown.changes.push({ what: what, bytes: shown.bytes });
    shown.bytes = r.bytes;
    refreshShown();
  }
  return { done: done, info: info, lines: out.lines };
}

// Shows the image anew after a change or its undo: its disks, its check,
// its files.
function refreshShown() {
  var listed = listImage(shownFile());
  if (listed.result) shown.disks = listed.result;
  $('dump').textContent = '';
  clearSaved();
  checkShown();
  showDisk();
}

function undo() {
  var last = shown.changes.pop();
  if (!last) return;
  shown.bytes = last.bytes;
  fileNews = [{ say: function () { return words().undone(whatText(last.what)); }, lines: [], offers: [] }];
  refreshShown();
  showFileNews(true);
}

function whatText(what) {
  return what.kind === 'add' ? words().addWhat(what.name) : what.kind === 'delete' ? words().deleteWhat(what.name) : words().formatWhat;
}

function showUndo() {
  var last = shown.changes[shown.changes.length - 1];
  $('undo').hidden = !last;
  $('undo').textContent = last ? words().undoButton(whatText(last.what)) : '';
}

// What a refused change says: the disk's write protection, or that
// nothing changed, with the console's lines.
function refusal(result, sayFailed) {
  return { say: result.info.refused === 'protected' ? function () { return words().protectedDisk; } : sayFailed,
           lines: result.lines, offers: [] };
}

// The options of put for file: the type and addresses chosen, and the
// date of the file itself, in local time, as d88disk put takes them.
function putOptions(file) {
  var address = function (id) {
    var text = $(id).value.trim().replace(/^0x/i, '');
    return /^[0-9a-f]{1,4}$/i.test(text) ? parseInt(text, 16) : -1;
  };
  var options = [TYPES[$('put-type').value] || 0, address('put-load'), address('put-exec'), 0, 0, 0, 0, 0, 0];
  if (file.modified) {
    var d = new Date(file.modified);
    options.splice(3, 6, d.getFullYear(), d.getMonth() + 1, d.getDate(), d.getHours(), d.getMinutes(), d.getSeconds());
  }
  return options;
}

// d88disk put of a picked file, replacing one of its name only with
// overwrite: the news of it.
function putOne(file, overwrite) {
  var options = putOptions(file);
  var result = change({ kind: 'add', name: file.name }, function (a, keep) {
    var o = keep(allocate(4 * options.length));
    HEAP32.set(options, o >> 2);
    var data = putBytes(file.bytes);
    keep(data[0]);
    return takeResult(Module._vorkast_web_put(a[0][0], a[0][1], a[0][2], shown.disk, shown.fs, keep(putText(file.name)),
                                              data[0], data[1], overwrite ? 1 : 0, o));
  });
  var info = result.info;
  if (result.done) {
    var stored = showName(info.stored);
    return { say: function () { return overwrite ? words().replaced(stored) : words().added(file.name, stored); }, lines: result.lines, offers: [] };
  }
  if (info.refused !== 'exists')
    return refusal(result, function () { return words().notAdded(file.name); });
  var there = showName(info.name);
  var news = { say: function () { return words().exists(shown.name, there, info.type, info.size); }, lines: result.lines };
  news.offers = [{ label: function () { return words().replaceButton(there); }, action: function () {
    fileNews[fileNews.indexOf(news)] = putOne(file, true);
    showFileNews(true);
  } }];
  return news;
}

// Whether the address fields hold nothing or hexadecimal numbers of 16
// bits; false after saying so.
function addressesRead() {
  var bad = ['put-load', 'put-exec'].some(function (id) {
    var text = $(id).value.trim();
    return text !== '' && !/^(0x)?[0-9a-f]{1,4}$/i.test(text);
  });
  if (bad) {
    fileNews = [{ say: function () { return words().badAddress; }, lines: [], offers: [] }];
    showFileNews(true);
  }
  return !bad;
}

// Adds picked or dropped files, one after the other, in their order.
function addFiles(files) {
  var list = Array.prototype.slice.call(files);
  if (!list.length || !shown || !addressesRead()) return Promise.resolve();
  if (shown.directory.length) {
    fileNews = [{ say: function () { return words().addInRoot; }, lines: [], offers: [] }];
    showFileNews(true);
    return Promise.resolve();
  }
  return Promise.all(list.map(readPicked)).then(function (read) {
    fileNews = read.map(function (file) { return putOne(file, false); });
    showFileNews(true);
  });
}

function deleteFile(entry) {
  var name = showName(entry.name);
  var result = change({ kind: 'delete', name: name }, function (a, keep) {
    return takeResult(Module._vorkast_web_delete(a[0][0], a[0][1], a[0][2], shown.disk, shown.fs,
                                                 keep(putName(entry.name)), keep(putText(name))));
  });
  fileNews = [result.done ? { say: function () { return words().deleted(name); }, lines: result.lines, offers: [] }
                          : refusal(result, function () { return words().notDeleted(name); })];
  showFileNews(true);
}

// d88disk format --fs of the disk shown; a disk that holds something is
// formatted only once asked again, explicitly (force).
function formatDisk(fs, force) {
  var result = change({ kind: 'format' }, function (a) {
    return takeResult(Module._vorkast_web_format(a[0][0], a[0][1], a[0][2], shown.disk, fs, force ? 1 : 0));
  });
  var info = result.info;
  if (result.done) {
    shown.fs = -1;
    shown.directory = [];
    showFiles();
    var description = shown.listing && shown.listing.description;
    fileNews = [{ say: function () { return words().formatted(description || FS_NAMES[fs]); }, lines: result.lines, offers: [] }];
  } else if (info.refused === 'contents') {
    fileNews = [{ say: function () { return words().holds(info); }, lines: result.lines,
                  offers: [{ label: function () { return words().formatAnyway; }, action: function () { formatDisk(fs, true); } }] }];
  } else {
    fileNews = [refusal(result, function () { return words().notFormatted; })];
  }
  showFileNews(true);
}

// What the last action on the files said, each item with the console's
// lines and the choices it offers (replace a file, format all the same).
function showFileNews(focus) {
  var box = $('files-news');
  box.textContent = '';
  var first = null;
  fileNews.forEach(function (news) {
    var part = document.createElement('div');
    part.className = 'news';
    paragraph(part, news.say());
    showConsole(part, news.lines);
    news.offers.forEach(function (offer) {
      var b = button(part, offer.label(), offer.action);
      first = first || b;
    });
    box.appendChild(part);
  });
  // the keyboard's place stays by what was done: on the choice offered, else
  // on what was said (a deleted file's row, an undone change's button are gone)
  if (focus && first) first.focus();
  else if (focus && fileNews.length) box.focus();
}

function startFiles() {
  var drop = $('files-drop');
  drop.addEventListener('dragover', function (e) { e.preventDefault(); e.stopPropagation(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', function () { drop.classList.remove('over'); });
  drop.addEventListener('drop', function (e) {
    e.preventDefault();
    e.stopPropagation();
    drop.classList.remove('over');
    document.body.classList.remove('dragging');
    addFiles(e.dataTransfer.files);
  });
  $('add-files').addEventListener('change', function () {
    var input = $('add-files');
    addFiles(input.files).then(function () { input.value = ''; });
  });
  $('zip').addEventListener('click', zipAll);
  $('undo').addEventListener('click', undo);
  $('up').addEventListener('click', function () {
    shown.directory = [];
    fileNews = [];
    showFileNews(false);
    showFiles();
    $('files-title').focus();
  });
  $('fs-read').addEventListener('change', function () {
    shown.fs = Number($('fs-read').value);
    shown.directory = [];
    showFiles();
  });
  $('format').addEventListener('click', function () { formatDisk(Number($('format-fs').value), false); });
}
