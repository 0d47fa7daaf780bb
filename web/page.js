// page.js -- the page's script: the words of both languages, the calls
// into the module, completing an image, and seeing a disk (its picture,
// its findings, the formats it is read from and saved in).  Assembled with
// zip.js and files.js into one scope (see page.html); files.js holds the
// files inside a disk.

var $ = function (id) { return document.getElementById(id); };
var MEDIA = { 0: '2D', 16: '2DD', 32: '2HD' };
var COLOURS = { 1: '#4e79a7', 2: '#59a14f', 3: '#b6992d', 4: '#8c6bb1', 5: '#d37295', 6: '#c0392b' };
var hex2 = function (n) { return (n < 16 ? '0' : '') + n.toString(16).toUpperCase(); };
var hex4 = function (n) { return ('000' + n.toString(16).toUpperCase()).slice(-4); };
var sectorId = function (s) { return hex2(s[0]) + '/' + hex2(s[1]) + '/' + hex2(s[2]); };
// "Track 3", or "Tracks 0–79" for a folded finding.
var track = function (f) { return (/–/.test(String(f.track)) ? 'Tracks ' : 'Track ') + f.track; };
var plural = function (n, one, more) { return n + ' ' + (n === 1 ? one : more); };

// The page's words in English and Japanese; the console's lines stay as
// the console tools print them.
var WORDS = {
  en: {
    title: 'vorkast: complete a D88 game disk image',
    other: '日本語', otherLang: 'ja',
    intro: 'Completes a D88 game disk image. Every game track (cylinders 0 to 39, heads 0 and 1) gets one 8 KB sector (size code 6) in front of its sectors, made of the 32 sectors of the matching cylinder of a data disk: tracks 0 to 39 from data disk #1, tracks 40 to 79 from data disk #2. Under See a disk, any disk image shows its tracks, its sectors and the files inside it, which can be saved, added, deleted and formatted. Nothing is uploaded: the images are read and changed in this page, on this machine, by the same code as the console tools, and the page works offline.',
    completeTitle: 'Complete an image',
    dropHint: 'Drop the three images here, or anywhere on the page: they fill game disk, data disk #1 and data disk #2 in the order given, unless their names say DATA1 or DATA2.',
    gameLabel: 'Game disk image', indexLabel: 'Disk of the game image to complete',
    data1Label: 'Data disk #1 (tracks 0 to 39)', data2Label: 'Data disk #2 (tracks 40 to 79)',
    trackLabel: 'Track number (empty: all 80)', trackPlaceholder: 'all', completeButton: 'Complete',
    inspectTitle: 'See a disk', inspectLabel: 'Image to look into', mapDiskLabel: 'Disk', mapTitle: 'Tracks and sectors',
    mapHint: 'One row per track, one box per sector in the order the track holds them; its width grows with its size. Click a sector, or move with the arrow keys and press Enter, to see its bytes.',
    findingsTitle: function (name) { return 'What a check finds in ' + name; }, listingTitle: 'The listing, as text',
    messagesTitle: 'What the console tool says',
    formatsHint: 'D88 (.d88, .d77, .d68, .d98), HFE, IMD, the PC-98 formats HDM, FDI, DIM and NFD, raw sector dumps (.2d, .2dd, .2hd, .xdf, .img) and SCP flux dumps, each known by its content.',
    saveTitle: 'Save this disk as',
    lossesHead: function (format) { return 'Saved as ' + format.toUpperCase() + ', this disk would lose what follows:'; },
    saveAnyway: function (format) { return 'Save as ' + format.toUpperCase() + ' all the same'; },
    cannotHold: function (format) { return format.toUpperCase() + ' cannot hold this disk:'; },
    savedAs: function (name) { return 'Saved ' + name + '.'; },
    saveAgain: function (name) { return 'Save ' + name + ' again'; },
    notesHead: 'Notes:',
    changed: function (n) { return plural(n, 'change', 'changes') + ' not saved yet: save the image to keep ' + (n === 1 ? 'it.' : 'them.'); },
    notReady: function (r, n) { return 'Complete waits until every selected track is ready (' + r + ' of ' + n + ').'; },
    noPick: 'Complete waits for the images.',
    noDisk: function (name) { return name + ' holds no D88 disk: it is not a D88 image, or an empty one.'; },
    repairOffer: function (name) { return name + ' is refused by the reader, and a repair mends it. The repair would change this:'; },
    repairButton: function (name) { return 'Repair ' + name; },
    repaired: function (name, fixed) { return name + ' is repaired: the job now takes ' + fixed + '. '; },
    alike: function (n) { return ' (and ' + n + ' more like it)'; },
    mapLabel: 'Map of the disk\'s tracks and sectors',
    save: function (name) { return 'Save ' + name; },
    summary: function (n, name, size) { return 'Completed ' + plural(n, 'track', 'tracks') + ': ' + name + ', ' + size + ' bytes'; },
    ready: function (r, n) { return r + ' of ' + plural(n, 'track', 'tracks') + ' ready'; },
    pickFirst: 'Pick the game image and the data disks: this tells at once whether the job can be done.',
    badTrack: 'The track number is not one from 0 to 79.',
    more: function (n) { return 'and ' + n + ' more'; },
    caption: function (what, name, format, disk, d) {
      return (what === 'done' ? 'Completed image ' : what === 'game' ? 'Game disk image ' : '') + name +
        (format && format !== 'd88' ? ' (' + format.toUpperCase() + ')' : '') + ', disk ' + d + ': ' + disk;
    },
    diskText: function (d) { return (d.name ? d.name + ', ' : '') + (MEDIA[d.type] || '?') + ', ' + (d.protected ? 'write-protected' : 'writable') + ', ' + d.size + ' bytes'; },
    sizeLegend: function (n) { return 'N ' + n + ': ' + (128 << n) + ' bytes'; },
    markLegend: 'error status or deleted mark',
    sectorTitle: function (s) { return sectorId(s) + ', N ' + s[3] + ', ' + s[4] + ' bytes' + (s[5] ? ', status ' + hex2(s[5]) : '') + (s[6] ? ', deleted' : ''); },
    dumpHead: function (d, slot, i, s) { return 'disk ' + d + ', slot ' + slot + ', sector ' + i + ': ' + sectorId(s) + ', N ' + s[3] + ', ' + s[4] + ' bytes'; },
    noFindings: function (name) { return 'Nothing: ' + name + ' is whole.'; },
    severity: { error: 'error', warning: 'warning', note: 'note' },
    place: {
      disk: function (d) { return 'disk ' + d; },
      slot: function (s) { return 'slot ' + s; },
      slots: function (a, b) { return 'slots ' + a + '–' + b; },
      sector: function (i, id) { return 'sector ' + i + (id ? ' (' + id + ')' : ''); },
      sectors: function (a, b) { return 'sectors ' + a + '–' + b; },
      join: ', '
    },
    fluxTitle: 'What the flux dump shows',
    fluxTrack: function (place, t, rpm) {
      return place + ': ' + plural(t[1], 'revolution', 'revolutions') + ', ' + rpm + ' rpm, ' +
        (t[3] ? (t[4] ? 'FM ' : 'MFM ') + t[3] + ' kbit/s, sectors found/good:' + foundGood(t) : 'no sector found');
    },
    finding: {
      'missing-sector': function (f) { return track(f) + ': ' + f.image + ' has no sector ' + f.sector; },
      'short-sector': function (f) { return track(f) + ': sector ' + f.sector + ' of ' + f.image + ' is not a sector of 256 bytes (N 1)'; },
      'no-game-track': function (f) { return track(f) + ': the game disk has no such track'; },
      'already-complete': function (f) { return track(f) + ': it already holds its 8 KB sector; the image was completed before'; },
      'full-track': function (f) { return track(f) + ': the track holds as many sectors as it can'; },
      'no-image': function (f) { return 'Pick the ' + (/#(\d)/.test(f.message) ? 'data disk #' + /#(\d)/.exec(f.message)[1] : 'game disk image'); },
      'no-disk': function (f) { return f.image + (/at all/.test(f.message) ? ' holds no D88 disk' : ' holds no such disk'); },
      'sector-status': function (f) { return track(f) + ': sector ' + f.sector + ' of ' + f.image + ' was read with an error status; its bytes go in as they are'; },
      'deleted': function (f) { return track(f) + ': sector ' + f.sector + ' of ' + f.image + ' carries a deleted mark; its bytes go in as they are'; },
      image: function (f) { return f.image + ' cannot be read: ' + f.message; }
    },
    // the files inside a disk
    filesTitle: 'Files on this disk',
    fsLine: function (fs, count) { return fs.description + ' (' + fs.name + '): ' + plural(count, 'file', 'files') + ', ' + fs.free + ' bytes free'; },
    noFs: 'No N88-BASIC, Hu-BASIC or FAT12 file system is on this disk; a format lays one down.',
    severalFs: 'Several file systems fit this disk: choose the one to read it as.',
    cannotList: 'The files of this disk cannot be listed:',
    fsReadLabel: 'Read the disk as', fsChoose: 'choose one',
    columns: ['Name', 'Type', 'Attributes', 'Size', 'Cluster', 'Load', 'Exec', 'Date', 'Actions'],
    filesCaption: function (dir) { return dir ? 'The files of the folder ' + dir : 'The files of the root directory'; },
    noFiles: 'The directory holds no file.',
    getButton: 'Save', getLabel: function (name) { return 'Save ' + name; },
    deleteButton: 'Delete', deleteLabel: function (name) { return 'Delete ' + name; },
    openButton: 'Open', openLabel: function (name) { return 'Open the folder ' + name; },
    upButton: 'Back to the root directory',
    inFolder: function (dir) { return 'In the folder ' + dir + ': files are added and deleted in the root directory alone.'; },
    zipButton: 'Save all files as one ZIP',
    addLabel: 'Add files to the disk',
    addInRoot: 'Files are added in the root directory alone: go back to it to add them.',
    dropFiles: 'Drop files on this list to add them to the disk.',
    putOptions: 'How added files are stored',
    typeLabel: 'Type', typeDefault: 'the file system\'s own',
    loadLabel: 'Load address (hex)', execLabel: 'Exec address (hex)',
    badAddress: 'The load and exec addresses are hexadecimal numbers from 0 to FFFF: nothing is added.',
    formatLabel: 'Format the disk as', formatButton: 'Format',
    undoButton: function (what) { return 'Undo ' + what; },
    undone: function (what) { return 'Undone: ' + what + '.'; },
    addWhat: function (name) { return 'adding ' + name; },
    deleteWhat: function (name) { return 'deleting ' + name; },
    formatWhat: 'the format',
    added: function (given, stored) { return given === stored ? 'Added ' + given + '.' : 'Added ' + given + ' as ' + stored + '.'; },
    replaced: function (name) { return 'Replaced ' + name + '.'; },
    exists: function (image, name, type, size) { return image + ' already holds ' + name + ' (' + type + ', ' + size + ' bytes); it is kept unless you replace it.'; },
    replaceButton: function (name) { return 'Replace ' + name; },
    notAdded: function (name) { return name + ' is not added; the disk is as it was:'; },
    deleted: function (name) { return 'Deleted ' + name + '.'; },
    notDeleted: function (name) { return name + ' is not deleted; the disk is as it was:'; },
    formatted: function (description) { return 'Formatted the disk as ' + description + '.'; },
    holds: function (c) {
      return 'The disk holds ' + (c.files > 0 ? plural(c.files, 'file', 'files') + (c.description ? ' (' + c.description + ')' : '')
        : 'data in ' + plural(c.sectors, 'sector', 'sectors') + ' and no file system the page knows') +
        ': a format erases ' + (c.files > 1 ? 'them' : 'it') + '. Nothing is changed unless you format it all the same.';
    },
    formatAnyway: 'Format all the same',
    notFormatted: 'The disk is not formatted; it is as it was:',
    protectedDisk: 'The disk is write-protected: nothing on it is changed.',
    notRead: function (name) { return name + ' cannot be read:'; }
  },
  ja: {
    title: 'vorkast: D88 ゲームディスクイメージを完成させる',
    other: 'English', otherLang: 'en',
    intro: 'D88 形式のゲームディスクイメージを完成させます。ゲームの各トラック（シリンダ 0〜39、ヘッド 0 と 1）の先頭に、データディスクの対応するシリンダの 32 セクタから作った 8 KB のセクタ（サイズコード 6）を 1 つ入れます。トラック 0〜39 はデータディスク #1 から、トラック 40〜79 はデータディスク #2 から取ります。「ディスクを見る」では、どのディスクイメージでもトラック、セクタ、中のファイルが見られ、ファイルの保存、追加、削除、フォーマットができます。何もアップロードされません。イメージはこのページの中、このコンピュータの上で、コンソール版と同じコードで読み込まれ変更されます。オフラインでも使えます。',
    completeTitle: 'イメージを完成させる',
    dropHint: '3 つのイメージをここか、ページのどこかにドロップしてください。名前に DATA1 や DATA2 とない限り、ドロップした順にゲームディスク、データディスク #1、データディスク #2 に入ります。',
    gameLabel: 'ゲームディスクイメージ', indexLabel: '完成させるゲームイメージのディスク',
    data1Label: 'データディスク #1（トラック 0〜39）', data2Label: 'データディスク #2（トラック 40〜79）',
    trackLabel: 'トラック番号（空欄: 80 トラックすべて）', trackPlaceholder: 'すべて', completeButton: '完成させる',
    inspectTitle: 'ディスクを見る', inspectLabel: '中を見るイメージ', mapDiskLabel: 'ディスク', mapTitle: 'トラックとセクタ',
    mapHint: '1 行が 1 トラック、1 つの箱が 1 セクタで、トラックに並ぶ順に置かれ、幅はサイズに比例します。セクタをクリックするか、矢印キーで移動して Enter を押すと、中身のバイトが見られます。',
    findingsTitle: function (name) { return name + ' の検査でわかったこと'; }, listingTitle: 'テキストの一覧',
    messagesTitle: 'コンソール版の出力（英語のまま）',
    formatsHint: 'D88（.d88、.d77、.d68、.d98）、HFE、IMD、PC-98 の HDM、FDI、DIM、NFD、セクタのベタイメージ（.2d、.2dd、.2hd、.xdf、.img）、SCP フラックスダンプが開けます。形式は中身で判断します。',
    saveTitle: 'このディスクを次の形式で保存',
    lossesHead: function (format) { return format.toUpperCase() + ' ファイルにはこのディスクのすべては入りません。保存すると次のものが失われます:'; },
    saveAnyway: function (format) { return 'それでも ' + format.toUpperCase() + ' で保存'; },
    cannotHold: function (format) { return 'このディスクは ' + format.toUpperCase() + ' にできません:'; },
    savedAs: function (name) { return name + ' を保存しました。'; },
    saveAgain: function (name) { return name + ' をもう一度保存'; },
    notesHead: '注記:',
    changed: function (n) { return '保存していない変更が ' + n + ' 件あります。残すにはイメージを保存してください。'; },
    notReady: function (r, n) { return '選んだトラックがすべて準備できるまで完成させられません（' + n + ' トラック中 ' + r + '）。'; },
    noPick: 'イメージを選ぶと完成させられます。',
    noDisk: function (name) { return name + ' には D88 のディスクがありません（D88 イメージでないか、空です）。'; },
    repairOffer: function (name) { return name + ' は読み込めませんが、修復できます。修復で変わること:'; },
    repairButton: function (name) { return name + ' を修復'; },
    repaired: function (name, fixed) { return name + ' を修復しました。ジョブは ' + fixed + ' を使います。'; },
    alike: function (n) { return '（ほか同様に ' + n + ' 件）'; },
    mapLabel: 'ディスクのトラックとセクタの図',
    save: function (name) { return name + ' を保存'; },
    summary: function (n, name, size) { return n + ' トラックを完成させました: ' + name + '（' + size + ' バイト）'; },
    ready: function (r, n) { return n + ' トラック中 ' + r + ' トラック準備完了'; },
    pickFirst: 'ゲームイメージとデータディスクを選ぶと、すぐにジョブができるかどうかがわかります。',
    badTrack: 'トラック番号が 0〜79 ではありません。',
    more: function (n) { return 'ほか ' + n + ' 件'; },
    caption: function (what, name, format, disk, d) {
      return (what === 'done' ? '完成したイメージ ' : what === 'game' ? 'ゲームディスクイメージ ' : '') + name +
        (format && format !== 'd88' ? '（' + format.toUpperCase() + '）' : '') + '、ディスク ' + d + ': ' + disk;
    },
    diskText: function (d) { return (d.name ? d.name + '、' : '') + (MEDIA[d.type] || '?') + '、' + (d.protected ? '書き込み禁止' : '書き込み可') + '、' + d.size + ' バイト'; },
    sizeLegend: function (n) { return 'N ' + n + ': ' + (128 << n) + ' バイト'; },
    markLegend: 'エラー状態・削除マーク',
    sectorTitle: function (s) { return sectorId(s) + '、N ' + s[3] + '、' + s[4] + ' バイト' + (s[5] ? '、状態 ' + hex2(s[5]) : '') + (s[6] ? '、削除マーク' : ''); },
    dumpHead: function (d, slot, i, s) { return 'ディスク ' + d + '、スロット ' + slot + '、セクタ ' + i + ': ' + sectorId(s) + '、N ' + s[3] + '、' + s[4] + ' バイト'; },
    noFindings: function (name) { return '問題はありません。' + name + ' は完全です。'; },
    severity: { error: 'エラー', warning: '警告', note: '注記' },
    place: {
      disk: function (d) { return 'ディスク ' + d; },
      slot: function (s) { return 'スロット ' + s; },
      slots: function (a, b) { return 'スロット ' + a + '〜' + b; },
      sector: function (i, id) { return 'セクタ ' + i + (id ? '（' + id + '）' : ''); },
      sectors: function (a, b) { return 'セクタ ' + a + '〜' + b; },
      join: '、'
    },
    fluxTitle: 'フラックスダンプからわかったこと',
    fluxTrack: function (place, t, rpm) {
      return place + ': ' + t[1] + ' 回転、' + rpm + ' rpm、' +
        (t[3] ? (t[4] ? 'FM ' : 'MFM ') + t[3] + ' kbit/s、見つかった/正常なセクタ:' + foundGood(t) : 'セクタが見つかりません');
    },
    finding: {
      'missing-sector': function (f) { return 'トラック ' + f.track + ': ' + f.image + ' にセクタ ' + f.sector + ' がありません'; },
      'short-sector': function (f) { return 'トラック ' + f.track + ': ' + f.image + ' のセクタ ' + f.sector + ' は 256 バイト（N 1）のセクタではありません'; },
      'no-game-track': function (f) { return 'トラック ' + f.track + ': ゲームディスクにこのトラックがありません'; },
      'already-complete': function (f) { return 'トラック ' + f.track + ': すでに 8 KB セクタがあります（完成済みのイメージです）'; },
      'full-track': function (f) { return 'トラック ' + f.track + ': トラックにこれ以上セクタを入れられません'; },
      'no-image': function (f) { return (/#(\d)/.test(f.message) ? 'データディスク #' + /#(\d)/.exec(f.message)[1] : 'ゲームディスクイメージ') + 'を選んでください'; },
      'no-disk': function (f) { return f.image + (/at all/.test(f.message) ? ' には D88 のディスクがありません' : ' に指定のディスクがありません'); },
      'sector-status': function (f) { return 'トラック ' + f.track + ': ' + f.image + ' のセクタ ' + f.sector + ' はエラー状態で読まれています（そのまま入ります）'; },
      'deleted': function (f) { return 'トラック ' + f.track + ': ' + f.image + ' のセクタ ' + f.sector + ' には削除マークがあります（そのまま入ります）'; },
      image: function (f) { return f.image + ' を読めません: ' + f.message; }
    },
    filesTitle: 'ディスクの中のファイル',
    fsLine: function (fs, count) { return fs.description + '（' + fs.name + '）: ファイル ' + count + ' 個、空き ' + fs.free + ' バイト'; },
    noFs: 'このディスクには N88-BASIC、Hu-BASIC、FAT12 のファイルシステムがありません。フォーマットすると作れます。',
    severalFs: 'このディスクには複数のファイルシステムが当てはまります。どれとして読むか選んでください。',
    cannotList: 'このディスクのファイルを一覧できません:',
    fsReadLabel: 'ファイルシステム', fsChoose: '選んでください',
    columns: ['名前', '種類', '属性', 'サイズ', 'クラスタ', 'ロード', '実行', '日付', '操作'],
    filesCaption: function (dir) { return dir ? 'フォルダ ' + dir + ' のファイル' : 'ルートディレクトリのファイル'; },
    noFiles: 'このディレクトリにはファイルがありません。',
    getButton: '保存', getLabel: function (name) { return name + ' を保存'; },
    deleteButton: '削除', deleteLabel: function (name) { return name + ' を削除'; },
    openButton: '開く', openLabel: function (name) { return 'フォルダ ' + name + ' を開く'; },
    upButton: 'ルートディレクトリに戻る',
    inFolder: function (dir) { return 'フォルダ ' + dir + ' の中です。ファイルの追加と削除はルートディレクトリでのみできます。'; },
    zipButton: 'すべてのファイルを 1 つの ZIP で保存',
    addLabel: 'ディスクにファイルを追加',
    addInRoot: 'ファイルはルートディレクトリにだけ追加できます。ルートに戻ってから追加してください。',
    dropFiles: 'このリストにファイルをドロップすると、ディスクに追加されます。',
    putOptions: '追加するファイルの記録のしかた',
    typeLabel: '種類', typeDefault: 'ファイルシステムの既定',
    loadLabel: 'ロードアドレス（16 進）', execLabel: '実行アドレス（16 進）',
    badAddress: 'ロードアドレスと実行アドレスは 0〜FFFF の 16 進数です。何も追加していません。',
    formatLabel: 'フォーマットするファイルシステム', formatButton: 'フォーマット',
    undoButton: function (what) { return what + 'を元に戻す'; },
    undone: function (what) { return what + 'を元に戻しました。'; },
    addWhat: function (name) { return name + ' の追加'; },
    deleteWhat: function (name) { return name + ' の削除'; },
    formatWhat: 'フォーマット',
    added: function (given, stored) { return given === stored ? given + ' を追加しました。' : given + ' を ' + stored + ' として追加しました。'; },
    replaced: function (name) { return name + ' を置き換えました。'; },
    exists: function (image, name, type, size) { return image + ' にはすでに ' + name + '（' + type + '、' + size + ' バイト）があります。置き換えない限りそのままです。'; },
    replaceButton: function (name) { return name + ' を置き換える'; },
    notAdded: function (name) { return name + ' は追加されませんでした（ディスクは元のままです）:'; },
    deleted: function (name) { return name + ' を削除しました。'; },
    notDeleted: function (name) { return name + ' は削除されませんでした（ディスクは元のままです）:'; },
    formatted: function (description) { return 'ディスクを ' + description + ' としてフォーマットしました。'; },
    holds: function (c) {
      return 'このディスクには' + (c.files > 0 ? 'ファイルが ' + c.files + ' 個' + (c.description ? '（' + c.description + '）' : '')
        : '、このページの知らない形で ' + c.sectors + ' セクタのデータ') +
        'があり、フォーマットすると消えます。「それでもフォーマットする」を押さない限り何も変わりません。';
    },
    formatAnyway: 'それでもフォーマットする',
    notFormatted: 'フォーマットしませんでした（ディスクは元のままです）:',
    protectedDisk: 'このディスクは書き込み禁止です。何も変更されません。',
    notRead: function (name) { return name + ' を読めません:'; }
  }
};
var lang = /^ja\b/i.test(navigator.language || '') ? 'ja' : 'en';
var words = function () { return WORDS[lang]; };

// " 16/16 17/16": sectors found and good in each revolution of a flux
// track's facts.
function foundGood(t) {
  return t[5].map(function (found, r) { return ' ' + found + '/' + t[6][r]; }).join('');
}

// --- the module ---------------------------------------------------------

function readFile(input) {
  var file = input.files && input.files[0];
  if (!file) return Promise.resolve(null);
  return readPicked(file);
}
function readPicked(file) {
  return file.arrayBuffer().then(function (b) { return { name: file.name, bytes: new Uint8Array(b), modified: file.lastModified }; },
                                 function () { return { name: file.name, bytes: new Uint8Array(0), modified: file.lastModified }; });
}

// Copies a file's bytes into the module's heap: [pointer, size], the
// caller freeing the pointer.  The size is -1 for a file too large for an
// image and -2 when the heap has no room; the module says so.
function putBytes(bytes) {
  if (bytes.length > 0x7fffffff) return [0, -1];
  var p = Module._malloc(bytes.length || 1);
  if (!p) return [0, -2];
  HEAPU8.set(bytes, p);
  return [p, bytes.length];
}
// A block of the module's heap; a break-off when there is none.
function allocate(size) {
  var p = Module._malloc(size);
  if (!p) throw new Error('error: memory exhausted!');
  return p;
}
function putText(text) {
  var n = Module.lengthBytesUTF8(text) + 1, p = allocate(n);
  Module.stringToUTF8(text, p, n);
  return p;
}
// Bytes (a name in its own encoding) as a zero-ended string in the heap.
function putName(bytes) {
  var p = allocate(bytes.length + 1);
  HEAPU8.set(bytes, p);
  HEAPU8[p + bytes.length] = 0;
  return p;
}
// Text the module made, released once read; null for none.
function takeText(p) {
  if (!p) return null;
  var text = Module.UTF8ToString(p);
  Module._vorkast_web_free(p);
  return text;
}
// Bytes the module made (*size at sizePointer), released once read.
function takeBytes(p, sizePointer) {
  var size = Module.getValue(sizePointer, 'i32');
  var bytes = p ? HEAPU8.slice(p, p + size) : null;
  Module._vorkast_web_free(p);
  return bytes;
}

// Calls the C interface with the files' bytes; returns the lines it
// reported and its result (null, with the reason as the last line, if the
// call broke off).  body(args, keep) gets [bytes, size, name] pointers for
// each file; keep(pointer) has a block of its own freed after the call.
function call(files, body) {
  var pointers = [], result = null, broke = null;
  var keep = function (p) { pointers.push(p); return p; };
  try {
    var args = files.map(function (f) {
      if (!f) return [0, 0, 0];
      var b = putBytes(f.bytes);
      pointers.push(b[0]);
      return [b[0], b[1], keep(putText(f.name))];
    });
    result = body(args, keep);
  } catch (error) {
    broke = error.message;
  }
  pointers.forEach(function (p) { Module._free(p); });
  var lines = Module.UTF8ToString(Module._vorkast_web_messages()).split('\n').filter(function (l) { return l; });
  if (broke) lines.push(broke);
  return { lines: lines, result: result };
}

// Calls a job function of the module (complete or check) on the fields.
function callJob(files, fn) {
  var track = $('track').value.trim();
  return call(files, function (a, keep) {
    return fn(a[0][0], a[0][1], a[0][2], a[1][0], a[1][1], a[1][2], a[2][0], a[2][1], a[2][2],
              Number($('index').value || 0), keep(putText(track)));
  });
}

// What a call that hands back a web_result gave, released once read:
// { status, bytes (null unless the status is 0 and it made an image),
// text }; null for no result.
function takeResult(r) {
  if (!r) return null;
  var status = Module.getValue(r, 'i32'), image = Module.getValue(r + 4, 'i32');
  var size = Module.getValue(r + 8, 'i32'), text = Module.getValue(r + 12, 'i32');
  var result = { status: status, bytes: status === 0 && image ? HEAPU8.slice(image, image + size) : null,
                 text: text ? Module.UTF8ToString(text) : '' };
  Module._vorkast_web_release(r);
  return result;
}

var SHIFT_JIS = new TextDecoder('shift_jis');
function diskName(bytes) {
  var end = bytes.indexOf(0);
  var name = SHIFT_JIS.decode(new Uint8Array(end < 0 ? bytes : bytes.slice(0, end)));
  return name.replace(/ +$/, '');
}

function listImage(file) {
  return call([file], function (a) {
    var text = takeText(Module._vorkast_web_list(a[0][0], a[0][1], a[0][2]));
    return text && JSON.parse(text).map(function (d) { d.name = diskName(d.name); return d; });
  });
}

// Hands bytes to the browser to save as a file of that name, at once;
// the address, kept until forget() is called with it.
function download(name, bytes, type) {
  var address = URL.createObjectURL(new Blob([bytes], { type: type || 'application/octet-stream' }));
  var link = document.createElement('a');
  link.href = address;
  link.download = name;
  link.hidden = true;
  document.body.appendChild(link);
  link.click();
  link.remove();
  return address;
}
function forget(address) {
  if (address) setTimeout(function () { URL.revokeObjectURL(address); }, 60000);
}

// The console's lines, verbatim, under box: a <pre> labelled as theirs.
function showConsole(box, lines) {
  if (!lines.length) return;
  var pre = document.createElement('pre');
  pre.className = 'console';
  pre.setAttribute('aria-label', words().messagesTitle);
  pre.textContent = lines.join('\n');
  box.appendChild(pre);
}
function paragraph(box, text, className) {
  var p = document.createElement('p');
  p.textContent = text;
  if (className) p.className = className;
  box.appendChild(p);
  return p;
}
function button(box, text, action, label) {
  var b = document.createElement('button');
  b.type = 'button';
  b.className = 'quiet';
  b.textContent = text;
  if (label) b.setAttribute('aria-label', label);
  b.addEventListener('click', action);
  box.appendChild(b);
  return b;
}

// --- completing ----------------------------------------------------------

var picked = { game: null, data1: null, data2: null };
var url = null, completed = null, readiness = null;

// A new pick for the job forgets the last run: its lines, its summary, its
// link.
function forgetRun() {
  $('messages').textContent = '';
  $('messages-title').hidden = true;
  $('summary').textContent = '';
  completed = null;
  var link = $('download');
  link.hidden = true;
  link.removeAttribute('href');
  if (url) URL.revokeObjectURL(url);
  url = null;
}

function fillIndex(file) {
  var select = $('index');
  select.textContent = '';
  var disks = file ? listImage(file).result : null;
  (disks || []).forEach(function (disk, i) {
    var option = document.createElement('option');
    option.value = String(i);
    option.textContent = i + ': ' + disk.name;
    select.appendChild(option);
  });
  select.value = '0';
  return disks;
}

function pickedFiles() { return [picked.game, picked.data1, picked.data2]; }

// Checks the job of the fields as soon as there is one to check.
function checkReadiness() {
  if (!picked.game && !picked.data1 && !picked.data2) { readiness = null; return showReadiness(); }
  var out = callJob(pickedFiles(), Module._vorkast_web_check);
  var text = takeText(out.result);
  readiness = text ? JSON.parse(text) : { badTrack: true };
  findRepairs();
  showReadiness();
}

function findingText(f) {
  var say = words().finding[f.kind] || words().finding.image;
  return say(f);
}

function showReadiness() {
  var box = $('readiness');
  box.textContent = '';
  box.className = '';
  var head = document.createElement('p');
  box.appendChild(head);
  var ready = !!readiness && !readiness.badTrack && readiness.ready === readiness.tracks;
  $('complete').disabled = !ready;
  $('complete-why').textContent = ready ? '' : !readiness ? words().noPick
    : readiness.badTrack ? words().badTrack : words().notReady(readiness.ready, readiness.tracks);
  showRepairs();
  if (!readiness) { head.textContent = words().pickFirst; return; }
  if (readiness.badTrack) { head.textContent = words().badTrack; box.className = 'blocked'; return; }
  head.textContent = words().ready(readiness.ready, readiness.tracks);
  box.className = ready ? 'ready' : 'blocked';
  showList(box, readiness.findings, followsInJob, spanInJob, function (f, last) {
    var folded = Object.assign({}, f, { track: last.track !== f.track ? f.track + '–' + last.track : f.track });
    return words().severity[f.severity] + ': ' + findingText(folded);
  });
}

// What a message says but for its numbers (IDs, offsets, counts).
var cause = function (message) { return message.replace(/[0-9A-Fa-fx\/]*[0-9][0-9A-Fa-fx\/]*/g, '#'); };
function alike(a, b) { return a.kind === b.kind && a.severity === b.severity && cause(a.message) === cause(b.message); }
// Findings of the job about one image at one track or the next, or of the
// image itself (no track).
function followsInJob(a, b) {
  return alike(a, b) && a.image === b.image && (a.track >= 0 ? b.track === a.track || b.track === a.track + 1 : b.track < 0);
}
function spanInJob(first, last) { return first.track >= 0 ? last.track - first.track + 1 : 1; }
// Findings of an image at consecutive slots of a disk, or sectors of a slot.
function followsInDisk(a, b) {
  return alike(a, b) && a.disk === b.disk && a.slot >= 0 && (b.slot === a.slot + 1 || (b.slot === a.slot && a.index >= 0 && b.index === a.index + 1));
}
function spanInDisk(first, last) {
  return last.slot !== first.slot ? last.slot - first.slot + 1 : last.index !== first.index ? last.index - first.index + 1 : 1;
}

// A list of findings under box, the first 60 lines of them and a count of
// the rest.  Three or more alike whose places follow on, as follows()
// tells, make one line, said by say(first, last), which names the places
// from first to last; findings of another kind between them do not break
// the line (a completed disk's duplicate IDs and data errors alternate,
// slot by slot).  The line adds how many it stands for only where that is
// not the number of places it names (span(first, last)): "slots 0–79" says
// 80 once.
function showList(box, findings, follows, span, say) {
  if (!findings.length) return;
  var runs = [], open = {};
  findings.forEach(function (f, at) {
    var key = f.severity + ' ' + f.kind + ' ' + cause(f.message), run = open[key];
    if (run && follows(run.items[run.items.length - 1], f)) {
      run.items.push(f);
      run.ats.push(at);
    } else {
      open[key] = run = { ats: [at], items: [f] };
      runs.push(run);
    }
  });
  var lines = [];
  runs.forEach(function (run) {
    if (run.items.length >= 3)
      return lines.push({ at: run.ats[0], first: run.items[0], last: run.items[run.items.length - 1], count: run.items.length });
    run.items.forEach(function (f, i) { lines.push({ at: run.ats[i], first: f, last: f, count: 1 }); });
  });
  lines.sort(function (a, b) { return a.at - b.at; });
  var list = document.createElement('ul');
  lines.slice(0, 60).forEach(function (line) {
    var item = document.createElement('li');
    item.className = line.first.severity;
    item.textContent = say(line.first, line.last) +
      (line.count > 1 && line.count !== span(line.first, line.last) ? words().alike(line.count - 1) : '');
    list.appendChild(item);
  });
  if (lines.length > 60) {
    var rest = document.createElement('li');
    rest.textContent = words().more(lines.length - 60);
    list.appendChild(rest);
  }
  box.appendChild(list);
}

// A line for a finding of an image (or those from f to last, folded): its
// severity, kind, place and message.
function imageFindingLine(f, last) {
  var place = [], p = words().place;
  if (f.disk >= 0) place.push(p.disk(f.disk));
  if (f.slot >= 0 && last.slot !== f.slot) place.push(p.slots(f.slot, last.slot));
  else if (f.slot >= 0) place.push(p.slot(f.slot));
  if (f.index >= 0 && last !== f && last.slot === f.slot) place.push(p.sectors(f.index, last.index));
  else if (f.index >= 0 && last === f) place.push(p.sector(f.index, f.sector));
  return words().severity[f.severity] + ' ' + f.kind + (place.length ? ' — ' + place.join(p.join) : '') + ': ' + f.message;
}
function showImageFindings(box, findings) {
  showList(box, findings, followsInDisk, spanInDisk, imageFindingLine);
}

// --- repairing a picked image ---------------------------------------------

var repairs = {};  // by field: the offer for the image picked there

// The repair of file, as d88disk repair would make it without --force or
// --media: { lines, fixed: { name, bytes } or null }.
function repairOf(file) {
  var out = call([file], function (a) {
    var r = takeResult(Module._vorkast_web_repair(a[0][0], a[0][1], a[0][2]));
    return r && r.bytes ? { bytes: r.bytes, name: r.text } : null;
  });
  return { lines: out.lines, fixed: out.result };
}

// Offers a repair for each picked image the reader refuses and a repair
// would mend; a repaired image, saved under its own name, takes the
// original's place in the job.
function findRepairs() {
  var refused = {};
  (readiness && readiness.findings || []).forEach(function (f) {
    if (f.image && /^the reader refuses the image/.test(f.message)) refused[f.image] = true;
  });
  ['game', 'data1', 'data2'].forEach(function (id) {
    var file = picked[id];
    if (repairs[id] && repairs[id].done) return;
    repairs[id] = file && refused[file.name] ? Object.assign(repairOf(file), { original: file.name }) : null;
    if (repairs[id] && !repairs[id].fixed) repairs[id] = null;
  });
}

function showRepairs() {
  var box = $('repairs');
  box.textContent = '';
  ['game', 'data1', 'data2'].forEach(function (id) {
    var offer = repairs[id];
    if (!offer) return;
    var part = document.createElement('div');
    part.className = 'repair';
    var head = paragraph(part, '');
    if (offer.done) {
      head.textContent = words().repaired(offer.original, offer.fixed.name);
      var link = document.createElement('a');
      link.href = offer.url;
      link.download = offer.fixed.name;
      link.textContent = words().save(offer.fixed.name);
      head.appendChild(link);
    } else {
      head.textContent = words().repairOffer(offer.original);
      var changes = document.createElement('pre');
      changes.textContent = offer.lines.join('\n');
      part.appendChild(changes);
      button(part, words().repairButton(offer.original), function () { takeRepair(id); });
    }
    box.appendChild(part);
  });
}

function takeRepair(id) {
  var offer = repairs[id];
  offer.done = true;
  offer.url = URL.createObjectURL(new Blob([offer.fixed.bytes], { type: 'application/octet-stream' }));
  picked[id] = offer.fixed;
  forgetRun();
  if (id === 'game') {
    fillIndex(offer.fixed);
    inspect(offer.fixed, 'game', 0);
  }
  checkReadiness();
}

function complete() {
  var out = callJob(pickedFiles(), function () {
    var r = takeResult(Module._vorkast_web_complete.apply(null, arguments));
    return r && r.bytes ? { bytes: r.bytes, name: r.text } : null;
  });
  forgetRun();
  $('messages').textContent = out.lines.join('\n');
  $('messages-title').hidden = out.lines.length === 0;
  if (!out.result) return;
  completed = out.result;
  completed.tracks = $('track').value.trim() === '' || Number($('track').value) < 0 ? 80 : 1;
  url = URL.createObjectURL(new Blob([completed.bytes], { type: 'application/octet-stream' }));
  var link = $('download');
  link.href = url;
  link.download = completed.name;
  link.hidden = false;
  showSummary();
  setTimeout(function () { inspect({ name: completed.name, bytes: completed.bytes }, 'done', Number($('index').value || 0)); }, 0);
}

function showSummary() {
  if (!completed) return;
  $('download').textContent = words().save(completed.name);
  $('summary').textContent = words().summary(completed.tracks, completed.name, completed.bytes.length);
}

// --- seeing a disk --------------------------------------------------------

// The image shown: { name, format (what it was read as), bytes (of D88),
// disks, disk, what ('image', 'game', 'done'), lines (the reader's, when
// it has no disk), findings (its check), opened (what opening it said:
// { lines, flux }), changes (what was changed, for undo), fs, directory }.
var shown = null;

// Puts the file in the picker of See a disk, so that the picker names the
// image shown.
function nameInPicker(file) {
  var picker = $('inspect');
  if (picker.files && picker.files[0] && picker.files[0].name === file.name && picker.files[0].size === file.bytes.length) return;
  var list = new DataTransfer();
  list.items.add(new File([file.bytes], file.name));
  picker.files = list.files;
}

// A picked file of any format, opened as d88disk convert reads it: { file
// (its D88 bytes, or null when it cannot be read), format, lines, flux (a
// flux dump's report) }.
function openImage(original) {
  var out = call([original], function (a) {
    return takeResult(Module._vorkast_web_open(a[0][0], a[0][1], a[0][2]));
  });
  var r = out.result, info = r && r.text ? JSON.parse(r.text) : {};
  var file = r && r.status === 0 ? { name: original.name, bytes: r.bytes || original.bytes } : null;
  return { file: file, format: info.format, lines: out.lines, flux: info.tracks ? { tracks: info.tracks, findings: info.findings } : null };
}

function inspect(original, what, disk) {
  var area = $('map-area');
  $('dump').textContent = '';
  clearSaved();
  fileNews = [];
  showFileNews(false);
  if (!original) { area.hidden = true; shown = null; return; }
  nameInPicker(original);
  var opened = openImage(original);
  var out = opened.file ? listImage(opened.file) : { result: null, lines: opened.lines };
  area.hidden = false;
  shown = { name: original.name, format: opened.format, bytes: opened.file ? opened.file.bytes : original.bytes,
            disks: out.result, disk: 0, what: what, lines: out.lines, opened: opened, changes: [], savedAt: 0, fs: -1, directory: [] };
  var choice = $('map-disk');
  choice.textContent = '';
  (out.result || []).forEach(function (d, i) {
    var option = document.createElement('option');
    option.value = String(i);
    option.textContent = i + ': ' + d.name;
    choice.appendChild(option);
  });
  $('map-disk-field').hidden = !out.result || out.result.length < 2;
  $('save-area').hidden = !out.result || !out.result.length;
  shown.disk = out.result && disk < out.result.length ? disk : 0;
  choice.value = String(shown.disk);
  checkShown();
  showOpened();
  showDisk();
}

// The check of the image shown, as d88disk check finds it.
function checkShown() {
  var found = call([shownFile()], function (a) { return takeText(Module._vorkast_web_check_image(a[0][0], a[0][1])); });
  shown.findings = found.result ? JSON.parse(found.result) : [];
}

// The image shown as a file for the module: its name and D88 bytes.
function shownFile() { return { name: shown.name, bytes: shown.bytes }; }

// What opening the image said: the notes of its reading (a format known by
// its content, not its name) and a flux dump's report, its tracks' facts
// folded as d88disk info folds them and what is not plain in them listed as
// findings are.
function showOpened() {
  var box = $('opened');
  box.textContent = '';
  var opened = shown.opened;
  if (!shown.disks) {  // the reader's (or the importer's) lines: why it cannot be read
    paragraph(box, words().notRead(shown.name));
    showConsole(box, shown.lines);
    return;
  }
  showConsole(box, opened.lines);
  if (!opened.flux) return;
  var head = document.createElement('h3');
  head.textContent = words().fluxTitle;
  box.appendChild(head);
  var list = document.createElement('ul'), tracks = opened.flux.tracks;
  for (var i = 0; i < tracks.length;) {
    var t = tracks[i], last = i, low = t[2], high = t[2];
    while (last + 1 < tracks.length && tracks[last + 1][0] === tracks[last][0] + 1 && sameFlux(t, tracks[last + 1])) {
      last++;
      low = Math.min(low, tracks[last][2]);
      high = Math.max(high, tracks[last][2]);
    }
    var rpm = low === high ? rpmText(low) : rpmText(low) + '–' + rpmText(high);
    var place = last > i ? words().place.slots(t[0], tracks[last][0]) : words().place.slot(t[0]);
    var item = document.createElement('li');
    item.textContent = words().fluxTrack(place, t, rpm);
    list.appendChild(item);
    i = last + 1;
  }
  box.appendChild(list);
  showImageFindings(box, opened.flux.findings);
}
// Whether two tracks' facts fold into one line: the same revolutions,
// encoding, rate and sectors found and good in each, and a rotation within
// 1% of the line's first.
function sameFlux(a, b) {
  return a[1] === b[1] && a[4] === b[4] && a[3] === b[3] && Math.abs(a[2] - b[2]) * 100 <= a[2] &&
    a[5].join() === b[5].join() && a[6].join() === b[6].join();
}
function rpmText(hundredths) { return Math.floor(hundredths / 100) + '.' + Math.floor(hundredths % 100 / 10); }

// --- saving the disk shown ------------------------------------------------

var saveUrl = null;
var lastSave = null;  // what the last save of the disk shown gave: { format, name, findings, lines, saved }

function clearSaved() {
  lastSave = null;
  showSaved(false);
  if (saveUrl) URL.revokeObjectURL(saveUrl);
  saveUrl = null;
}

// The name the disk shown is saved under in format: a D88 image keeps its
// own name; any other takes the name's stem (and the disk's number where
// the image has several) and the format's extension (a raw dump's after
// its media).
function saveName(format) {
  var stem = shown.name.replace(/\.[^.\/]*$/, '');
  if (format === 'd88') return shown.format === 'd88' || !shown.format ? shown.name : stem + '.D88';
  var disk = shown.disks[shown.disk];
  var extension = format === 'raw' ? (MEDIA[disk.type] || 'IMG') : format.toUpperCase();
  return stem + (shown.disks.length > 1 ? '.' + shown.disk : '') + '.' + extension;
}

// Saves the image shown in format with one click: as D88 the whole image
// (every change in it); in any other format the disk shown, the losses
// listed first, with a button to save all the same, and the notes
// (the name not kept, ...) said beside the saved file.
function saveAs(format, force) {
  clearSaved();
  var result = { bytes: shown.bytes, findings: [] }, lines = [];
  if (format !== 'd88') {
    var out = call([shownFile()], function (a, keep) {
      var r = takeResult(Module._vorkast_web_export(a[0][0], a[0][1], a[0][2], shown.disk, keep(putText(format)), force ? 1 : 0));
      return r && { bytes: r.bytes, findings: JSON.parse(r.text || '[]') };
    });
    result = out.result || { bytes: null, findings: [] };
    lines = out.lines;
  }
  lastSave = { format: format, name: saveName(format), findings: result.findings, lines: lines, saved: !!result.bytes };
  if (result.bytes) {
    saveUrl = download(lastSave.name, result.bytes);
    shown.savedAt = shown.changes.length;
    showChanges();
  }
  showSaved(true);
}

// What the last save said: the file saved (a link to save it again) and
// the notes of its format; or the losses, with the button to save all the
// same (focused when focus); or why the format cannot hold the disk.
function showSaved(focus) {
  var box = $('save-losses');
  box.textContent = '';
  $('save-done').hidden = !lastSave || !lastSave.saved;
  if (!lastSave) return;
  var save = lastSave;
  if (save.saved) {
    var link = $('save-link');
    link.href = saveUrl;
    link.download = save.name;
    link.textContent = words().saveAgain(save.name);
    $('save-done-text').textContent = words().savedAs(save.name) + ' ';
    if (save.findings.length) paragraph(box, words().notesHead);
  } else if (save.findings.some(function (f) { return f.severity === 'error'; })) {
    paragraph(box, words().lossesHead(save.format));
  } else {
    paragraph(box, words().cannotHold(save.format));
    showConsole(box, save.lines);
    return;
  }
  showImageFindings(box, save.findings);
  if (save.saved) return;
  var again = button(box, words().saveAnyway(save.format), function () { saveAs(save.format, true); });
  if (focus) again.focus();
}

function showDisk() {
  var map = $('map');
  map.textContent = '';
  $('legend').textContent = '';
  $('listing').textContent = '';
  showFindings();
  showChanges();
  if (!shown.disks || !shown.disks.length) {
    $('map-caption').textContent = shown.disks ? words().noDisk(shown.name) : shown.name;
    $('listing').textContent = '';
    $('files-area').hidden = true;
    return;
  }
  var disk = shown.disks[shown.disk];
  $('map-caption').textContent = words().caption(shown.what, shown.name, shown.format, words().diskText(disk), shown.disk);
  map.appendChild(drawDisk(disk));
  showLegend(disk);
  $('listing').textContent = listingText(disk);
  $('files-area').hidden = false;
  showFiles();
}

// How many changes the image shown holds that are not saved yet.
function showChanges() {
  var n = Math.abs(shown.changes.length - shown.savedAt);
  $('changes').textContent = n ? words().changed(n) : '';
}

function showFindings() {
  var box = $('findings');
  box.textContent = '';
  $('findings-title').textContent = words().findingsTitle(shown.name);
  if (!shown.findings.length) {
    paragraph(box, words().noFindings(shown.name));
    return;
  }
  showImageFindings(box, shown.findings);
}

function listingText(disk) {
  return disk.tracks.map(function (t) {
    var first = t.sectors[0];
    return 'slot ' + ('  ' + t.slot).slice(-3) + '  ' + hex2(first[0]) + '/' + hex2(first[1]) + '  ' +
      t.sectors.map(function (s) {
        return (s[0] !== first[0] || s[1] !== first[1] ? sectorId(s) : hex2(s[2])) + ':' + s[3] + '/' + s[4];
      }).join(' ');
  }).join('\n');
}

function showLegend(disk) {
  var sizes = {};
  disk.tracks.forEach(function (t) { t.sectors.forEach(function (s) { sizes[s[3]] = true; }); });
  var legend = $('legend');
  Object.keys(sizes).sort().forEach(function (n) {
    var item = document.createElement('li');
    var swatch = document.createElement('span');
    swatch.style.background = COLOURS[n] || '#777';
    item.appendChild(swatch);
    item.appendChild(document.createTextNode(n >= 1 && n <= 6 ? words().sizeLegend(Number(n)) : 'N ' + n));
    legend.appendChild(item);
  });
  var mark = document.createElement('li');
  var swatch = document.createElement('span');
  swatch.style.background = 'repeating-linear-gradient(45deg, #fff 0 2px, #000 2px 4px)';
  mark.appendChild(swatch);
  mark.appendChild(document.createTextNode(words().markLegend));
  legend.appendChild(mark);
}

var SVG = 'http://www.w3.org/2000/svg';
function svg(name, attributes) {
  var e = document.createElementNS(SVG, name);
  Object.keys(attributes || {}).forEach(function (k) { e.setAttribute(k, attributes[k]); });
  return e;
}

// The disk as a picture: two panels of rows, each row a track slot and
// its sectors in file order, widths after their sizes.
function drawDisk(disk) {
  var PANEL = 440, LABEL = 46, ROW = 16, BOX = 12, GAP = 1, MIDDLE = 20;
  var rows = Math.ceil(disk.tracks.length / 2);
  var widest = 1;
  disk.tracks.forEach(function (t) {
    widest = Math.max(widest, t.sectors.reduce(function (sum, s) { return sum + Math.max(s[4], 1); }, 0));
  });
  var picture = svg('svg', { viewBox: '0 0 ' + (2 * PANEL + MIDDLE) + ' ' + (rows * ROW + 4), role: 'group', 'aria-label': words().mapLabel });
  var defs = svg('defs');
  var hatch = svg('pattern', { id: 'marked', width: 4, height: 4, patternUnits: 'userSpaceOnUse', patternTransform: 'rotate(45)' });
  hatch.appendChild(svg('rect', { width: 2, height: 4, fill: '#000' }));
  defs.appendChild(hatch);
  picture.appendChild(defs);
  disk.tracks.forEach(function (t, k) {
    var x0 = (k % 2) * (PANEL + MIDDLE), y = Math.floor(k / 2) * ROW + 2;
    var first = t.sectors[0];
    var label = svg('text', { x: x0 + LABEL - 6, y: y + BOX - 1, 'text-anchor': 'end', 'font-size': 11, fill: '#333', 'font-family': 'monospace' });
    label.textContent = hex2(first[0]) + '/' + hex2(first[1]);
    picture.appendChild(label);
    var room = PANEL - LABEL - GAP * t.sectors.length;
    var x = x0 + LABEL;
    t.sectors.forEach(function (s, i) {
      var w = Math.max(2, room * Math.max(s[4], 1) / widest);
      var big = s[3] === 6 && s[4] === 8192;
      var box = svg('rect', {
        x: x.toFixed(2), y: big ? y - 1 : y, width: w.toFixed(2), height: big ? BOX + 2 : BOX,
        fill: COLOURS[s[3]] || '#777', stroke: big ? '#5c0f0f' : '#fff', 'stroke-width': big ? 1.5 : 0.5,
        'class': 'sector', 'data-slot': t.slot, 'data-index': i, 'data-n': s[3], tabindex: -1, role: 'button',
        'aria-label': words().sectorTitle(s)
      });
      var title = svg('title');
      title.textContent = words().sectorTitle(s);
      box.appendChild(title);
      picture.appendChild(box);
      if (s[5] || s[6])
        picture.appendChild(svg('rect', { x: x.toFixed(2), y: y, width: w.toFixed(2), height: BOX, fill: 'url(#marked)', stroke: '#000', 'stroke-width': 1.5, 'pointer-events': 'none' }));
      x += w + GAP;
    });
  });
  var boxes = picture.querySelectorAll('rect.sector');
  if (boxes.length) boxes[0].setAttribute('tabindex', '0');
  picture.addEventListener('click', function (e) {
    if (e.target.classList && e.target.classList.contains('sector')) chooseSector(e.target);
  });
  picture.addEventListener('keydown', function (e) { moveInMap(e, picture); });
  return picture;
}

// Arrow keys move between sectors (left and right along a track, up and
// down between the rows of a panel); Enter or Space shows the bytes.
function moveInMap(e, picture) {
  var at = e.target;
  if (!at.classList || !at.classList.contains('sector')) return;
  if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); chooseSector(at); return; }
  var slotIndex = shown.disks[shown.disk].tracks.map(function (t) { return t.slot; });
  var k = slotIndex.indexOf(Number(at.dataset.slot)), i = Number(at.dataset.index);
  var step = { ArrowLeft: [0, -1], ArrowRight: [0, 1], ArrowUp: [-2, 0], ArrowDown: [2, 0] }[e.key];
  if (!step) return;
  e.preventDefault();
  var to = slotIndex[k + step[0]];
  if (to === undefined) return;
  var target = picture.querySelector('rect.sector[data-slot="' + to + '"][data-index="' + Math.max(0, i + step[1]) + '"]') ||
    picture.querySelector('rect.sector[data-slot="' + to + '"]:last-of-type');
  if (!target) return;
  at.setAttribute('tabindex', '-1');
  target.setAttribute('tabindex', '0');
  target.focus();
}

function chooseSector(box) {
  var slot = Number(box.dataset.slot), index = Number(box.dataset.index);
  var track = shown.disks[shown.disk].tracks.filter(function (t) { return t.slot === slot; })[0];
  var out = call([shownFile()], function (a, keep) {
    var sizePointer = keep(allocate(4));
    return takeBytes(Module._vorkast_web_sector(a[0][0], a[0][1], a[0][2], shown.disk, slot, index, sizePointer), sizePointer);
  });
  var dump = $('dump');
  dump.textContent = words().dumpHead(shown.disk, slot, index, track.sectors[index]) + '\n' +
    (out.result ? hexDump(out.result) : out.lines.join('\n'));
  dump.scrollIntoView({ block: 'nearest' });
}

function hexDump(bytes) {
  var lines = [];
  for (var at = 0; at < bytes.length; at += 16) {
    var row = bytes.slice(at, at + 16), hex = '', text = '';
    row.forEach(function (b) {
      hex += ' ' + hex2(b);
      text += b >= 0x20 && b < 0x7f ? String.fromCharCode(b) : '.';
    });
    lines.push(('000' + at.toString(16).toUpperCase()).slice(-4) + ' ' + hex.padEnd(48) + '  |' + text + '|');
  }
  return lines.join('\n');
}

// --- language ------------------------------------------------------------

function applyLanguage() {
  document.documentElement.lang = lang;
  document.title = words().title;
  document.querySelectorAll('[data-i18n]').forEach(function (e) { e.textContent = words()[e.dataset.i18n]; });
  document.querySelectorAll('[data-i18n-column]').forEach(function (e) { e.textContent = words().columns[Number(e.dataset.i18nColumn)]; });
  document.querySelectorAll('[data-i18n-placeholder]').forEach(function (e) { e.placeholder = words()[e.dataset.i18nPlaceholder]; });
  var switcher = $('lang');
  switcher.textContent = words().other;
  switcher.lang = words().otherLang;
  showReadiness();
  showSummary();
  if (shown) {
    showOpened();
    showDisk();
    showSaved(false);
  }
  showFileNews(false);
}

// --- files: picked or dropped --------------------------------------------

// A pick for the job forgets the last run; one under See a disk keeps it.
function picks(id) {
  return readFile($(id)).then(function (file) {
    if (id === 'inspect') return inspect(file, 'image', 0);
    forgetRun();
    picked[id] = file;
    repairs[id] = null;
    if (id === 'game') {
      fillIndex(file);
      if (file) inspect(file, 'game', 0);
    }
    checkReadiness();
  });
}

function putFile(id, file) {
  var list = new DataTransfer();
  list.items.add(file);
  $(id).files = list.files;
  return picks(id);
}

// Files dropped on the page: a name that says DATA1, DATA2 or GAME goes
// to that field, the others fill the free fields in the order given.
function dropOnPage(files) {
  var fields = ['game', 'data1', 'data2'], chosen = {};
  var rules = [['data1', /data\s*[-_ #]?\s*1/i], ['data2', /data\s*[-_ #]?\s*2/i], ['game', /game/i]];
  var rest = [];
  Array.prototype.forEach.call(files, function (file) {
    var rule = rules.filter(function (r) { return r[1].test(file.name) && !chosen[r[0]]; })[0];
    if (rule) chosen[rule[0]] = file; else rest.push(file);
  });
  fields.forEach(function (id) { if (!chosen[id] && rest.length) chosen[id] = rest.shift(); });
  return Promise.all(fields.filter(function (id) { return chosen[id]; }).map(function (id) { return putFile(id, chosen[id]); }));
}

function startPage() {
  document.querySelectorAll('.field').forEach(function (field) {
    var input = field.querySelector('input[type=file]');
    if (!input || input.id === 'add-files') return;
    field.addEventListener('dragover', function (e) { e.preventDefault(); field.classList.add('over'); });
    field.addEventListener('dragleave', function () { field.classList.remove('over'); });
    field.addEventListener('drop', function (e) {
      e.preventDefault();
      e.stopPropagation();
      field.classList.remove('over');
      document.body.classList.remove('dragging');
      if (e.dataTransfer.files.length === 1) putFile(input.id, e.dataTransfer.files[0]);
      else if (input.id !== 'inspect') dropOnPage(e.dataTransfer.files);
    });
  });
  document.addEventListener('dragover', function (e) { e.preventDefault(); document.body.classList.add('dragging'); });
  document.addEventListener('dragleave', function (e) { if (!e.relatedTarget) document.body.classList.remove('dragging'); });
  document.addEventListener('drop', function (e) {
    e.preventDefault();
    document.body.classList.remove('dragging');
    dropOnPage(e.dataTransfer.files);
  });

  ['game', 'data1', 'data2', 'inspect'].forEach(function (id) { $(id).addEventListener('change', function () { picks(id); }); });
  $('index').addEventListener('change', function () { forgetRun(); checkReadiness(); if (picked.game) inspect(picked.game, 'game', Number($('index').value)); });
  $('track').addEventListener('input', function () { forgetRun(); checkReadiness(); });
  $('map-disk').addEventListener('change', function () {
    shown.disk = Number($('map-disk').value);
    shown.fs = -1;
    shown.directory = [];
    $('dump').textContent = '';
    clearSaved();
    showDisk();
  });
  $('complete').addEventListener('click', complete);
  document.querySelectorAll('#save-area button[data-format]').forEach(function (b) {
    b.addEventListener('click', function () { saveAs(b.dataset.format, false); });
  });
  $('lang').addEventListener('click', function () { lang = words().otherLang; applyLanguage(); });
  startFiles();
  applyLanguage();
}
