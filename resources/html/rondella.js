// Rondella の HTML 目録: the search and the lists of the page. The data
// (data.js, written by the program) holds every CD with its songs, the works
// by composer, and what quick find looks through, already in quick find's
// normalised form; here the typed words are normalised as quick find
// normalises them, then looked for in the same texts, so that the page finds
// what the program finds. Written for any browser of the last years: no
// modules, no lookbehind, nothing fetched.
(function () {
  'use strict';

  // ---- quick find's normalisation of what is typed

  // The spaces of QChar::isSpace: the ASCII ones, NEL, and the separators.
  function isSpaceCode(c) {
    return (c >= 9 && c <= 13) || c === 0x20 || c === 0x85 || c === 0xa0 || c === 0x1680 ||
      (c >= 0x2000 && c <= 0x200a) || c === 0x2028 || c === 0x2029 || c === 0x202f ||
      c === 0x205f || c === 0x3000;
  }

  // Spaces, control characters and the middle dot are no part of a word.
  function removed(c) {
    return c === 0x30fb || c < 0x20 || isSpaceCode(c);
  }

  function asKatakana(c) {
    return (c >= 0x3041 && c <= 0x3096) || c === 0x309d || c === 0x309e ? c + 0x60 : c;
  }

  // ヴァ ヴィ ヴゥ ヴェ ヴォ as バ ビ ブ ベ ボ.
  var voicedB = { 0x30a1: 0x30d0, 0x30a3: 0x30d3, 0x30a5: 0x30d6, 0x30a7: 0x30d9, 0x30a9: 0x30dc };

  // Simple case folding, as the program folds: lower case but for the few
  // letters whose folding differs from it.
  function caseFolded(text) {
    var out = '';
    for (var i = 0; i < text.length; ++i) {
      var c = text.charCodeAt(i);
      if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.length) {
        out += text.substr(i, 2).toLowerCase();
        ++i;
      } else if (c === 0x3c2) {
        out += '\u03c3'; // ς as σ
      } else if (c === 0x130 || c === 0x345) {
        out += c === 0x130 ? text.charAt(i) : '\u03b9';
      } else if (c >= 0xab70 && c <= 0xabbf) {
        out += String.fromCharCode(c - 0xab70 + 0x13a0); // Cherokee folds to capitals
      } else if (c >= 0x13f8 && c <= 0x13fd) {
        out += String.fromCharCode(c - 8);
      } else if (c < 0x80) {
        out += c >= 0x41 && c <= 0x5a ? String.fromCharCode(c + 32) : text.charAt(i);
      } else {
        var lower = text.charAt(i).toLowerCase();
        out += lower.length === 1 ? lower : text.charAt(i);
      }
    }
    return out;
  }

  function accented(text) {
    for (var i = 0; i < text.length; ++i) {
      var c = text.charCodeAt(i);
      if ((c >= 0xc0 && c <= 0x24f) || (c >= 0x1e00 && c <= 0x1eff))
        return true;
    }
    return false;
  }

  function withoutAccents(text) {
    var split = text.normalize('NFD'), out = '';
    for (var i = 0; i < split.length; ++i) {
      var c = split.charCodeAt(i);
      if (c < 0x300 || c > 0x36f)
        out += split.charAt(i);
    }
    return out.normalize('NFC');
  }

  function normalizedForFind(text) {
    var folded = caseFolded(text.normalize('NFKC'));
    if (accented(folded))
      folded = withoutAccents(folded);
    var out = '';
    for (var i = 0; i < folded.length; ++i) {
      var c = asKatakana(folded.charCodeAt(i));
      if (removed(c))
        continue;
      if (c === 0x30f4) { // ヴ: a space or a dot before its vowel is no part of the word
        var next = i + 1;
        while (next < folded.length && removed(folded.charCodeAt(next)))
          ++next;
        var b = next < folded.length ? voicedB[asKatakana(folded.charCodeAt(next))] : undefined;
        out += String.fromCharCode(b || 0x30d6);
        if (b)
          i = next;
        continue;
      }
      out += String.fromCharCode(c);
    }
    return out;
  }

  // ---- catalogue numbers, as the works read them (K.550 = KV 550 = k550)

  var S = '[ \\t\\n\\v\\f\\r]'; // the regular expressions' \s of the program
  function anyCase(word) {
    var out = '';
    for (var i = 0; i < word.length; ++i)
      out += '[' + word.charAt(i).toUpperCase() + word.charAt(i).toLowerCase() + ']';
    return out;
  }
  // The program's expression, alternative for alternative; a catalogue's
  // name must not end a longer word, which is checked beside the expression.
  var catalogueExpression = new RegExp(
    '(?:(' + anyCase('Hob') + ')\\.?' + S + '*([IVXL]+|[0-9]+)' + S + '*[:/]' + S + '*([0-9]+))' +
    '|((?:' + ['BWV', 'KV', 'WoO', 'TrV', 'WAB', 'HWV', 'RV', 'LW', 'Sz', 'BB', 'Opus', 'Op', 'K']
      .map(anyCase).join('|') + ')|S|D|L|M)(?![A-Za-z])\\.?' + S + '*([0-9]+)' +
    '|(作品)' + S + '*([0-9]+)' +
    '|(' + anyCase('LW') + ')\\.?' + S + '*([A-Z])' + S + '*([0-9]+)', 'g');
  var subNumberExpression = new RegExp(
    '(?:[-/]([0-9]+)|,?' + S + '*(?:' + anyCase('No') + '|' + anyCase('Nr') + ')\\.?' + S +
    '*([0-9]+)|' + S + '*の' + S + '*([0-9]+)|' + S + '*第' + S + '*([0-9]+)' + S + '*番)', 'y');

  var kinds = ['BWV', 'K', 'Op', 'D', 'Hob', 'RV', 'HWV', 'S', 'LW', 'Sz', 'BB', 'WoO', 'TrV',
    'WAB', 'L', 'M'];
  function kindOf(written) {
    var lower = written.toLowerCase();
    if (lower === 'kv')
      return 'K';
    if (written === '作品' || lower === 'opus')
      return 'Op';
    for (var i = 0; i < kinds.length; ++i)
      if (kinds[i].toLowerCase() === lower)
        return kinds[i];
    return '';
  }

  // A whole number as the program reads one: 0 where it does not fit.
  function whole(digits) {
    var n = parseInt(digits, 10);
    return n > 2147483647 ? 0 : n;
  }

  function romanNumber(s) {
    var total = 0, last = 0;
    for (var i = s.length - 1; i >= 0; --i) {
      var v = { I: 1, V: 5, X: 10, L: 50 }[s.charAt(i)] || 0;
      if (v === 0)
        return -1;
      total += v < last ? -v : v;
      last = Math.max(last, v);
    }
    return total;
  }

  function isLatinLetter(ch) {
    return /[A-Za-z]/.test(ch);
  }

  // Every catalogue number in an NFKC text: {kind, numbers, from, to}.
  function catalogueNumbers(t) {
    var found = [], m;
    catalogueExpression.lastIndex = 0;
    while ((m = catalogueExpression.exec(t)) !== null) {
      var from = m.index;
      if (m[6] === undefined && from > 0 && isLatinLetter(t.charAt(from - 1))) {
        catalogueExpression.lastIndex = from + 1; // a longer word's end
        continue;
      }
      var f = { kind: '', numbers: [], from: from, to: from + m[0].length };
      if (m[1]) {
        var g = /^[0-9]/.test(m[2]) ? whole(m[2]) : romanNumber(m[2]);
        if (g < 0)
          continue;
        f.kind = 'Hob';
        f.numbers = [g, whole(m[3])];
      } else if (m[8]) {
        f.kind = 'LW';
        f.numbers = [m[9].charCodeAt(0) - 0x41 + 1, whole(m[10])];
      } else {
        var japanese = m[6] !== undefined;
        f.kind = kindOf(japanese ? m[6] : m[4]);
        f.numbers = [whole(japanese ? m[7] : m[5])];
        if (f.kind === 'Op') {
          for (;;) {
            subNumberExpression.lastIndex = f.to;
            var sub = subNumberExpression.exec(t);
            if (!sub)
              break;
            for (var c = 1; c <= 4; ++c)
              if (sub[c] !== undefined && sub[c].length > 0)
                f.numbers.push(whole(sub[c]));
            f.to = subNumberExpression.lastIndex;
          }
        }
      }
      found.push(f);
    }
    return found;
  }

  // A catalogue number in the one spelling quick find keeps it in.
  function tokenOf(number) {
    return '\ue000' + caseFolded(number.kind) + number.numbers.join('.') + '\ue001';
  }

  // The words of a typed text, as quick find takes them: split at every
  // space, a catalogue number standing alone one word however it is spaced.
  function findWords(typedText) {
    var typed = typedText.normalize('NFKC');
    var numbers = catalogueNumbers(typed);
    for (var k = numbers.length - 1; k >= 0; --k) {
      var f = numbers[k];
      var alone = (f.from === 0 || isSpaceCode(typed.charCodeAt(f.from - 1))) &&
        (f.to === typed.length || isSpaceCode(typed.charCodeAt(f.to)));
      if (alone)
        typed = typed.slice(0, f.from) + tokenOf(f) + typed.slice(f.to);
    }
    var words = [], piece = '';
    for (var i = 0; i <= typed.length; ++i) {
      if (i === typed.length || isSpaceCode(typed.charCodeAt(i))) {
        if (piece !== '') {
          var word = normalizedForFind(piece);
          if (word !== '')
            words.push(word);
        }
        piece = '';
      } else {
        piece += typed.charAt(i);
      }
    }
    return words;
  }

  // The typed text as the quick find field hands it on: trimmed, each run
  // of spaces one space.
  function simplified(text) {
    var out = '', space = false;
    for (var i = 0; i < text.length; ++i) {
      if (isSpaceCode(text.charCodeAt(i))) {
        space = out !== '';
      } else {
        if (space)
          out += ' ';
        space = false;
        out += text.charAt(i);
      }
    }
    return out;
  }

  // ---- the search over the texts quick find looks through

  var data = window.rondellaCatalogue;
  var page = document.getElementById('catalogue');
  if (!data || data.version !== 1) {
    page.textContent = '目録のデータ（data.js）が読めません。書き出したフォルダーのまま開いてください。';
    return;
  }
  var strings = data.strings;
  var cds = data.cds;
  var block = data.find; // the texts, each ended by a line break
  var ends = [];
  for (var at = block.indexOf('\n'); at >= 0; at = block.indexOf('\n', at + 1))
    ends.push(at + 1);
  ends = Int32Array.from(ends);
  var textsOfCDs = [], cdEnds = new Int32Array(cds.length);
  cds.forEach(function (cd, i) {
    Array.prototype.push.apply(textsOfCDs, cd.k);
    cdEnds[i] = textsOfCDs.length;
    // -1: the same as the song above
    for (var k = 1; k < cd.s.length; ++k)
      for (var c = 0; c < cd.s[k].length; ++c)
        if (cd.s[k][c] === -1)
          cd.s[k][c] = cd.s[k - 1][c];
  });
  textsOfCDs = Int32Array.from(textsOfCDs);
  var spellingsOfGroup = {};
  Object.keys(data.groups).forEach(function (spelling) {
    var group = data.groups[spelling];
    (spellingsOfGroup[group] = spellingsOfGroup[group] || []).push(spelling);
  });

  // The text an offset of the block lies in.
  function textAt(offset) {
    var lo = 0, hi = ends.length;
    while (lo < hi) {
      var mid = (lo + hi) >> 1;
      if (ends[mid] <= offset)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }

  // Marks in `marks` the CDs holding a text the word occurs in.
  function markCDsWith(word, marks) {
    var holds = new Uint8Array(ends.length), any = false;
    for (var at = block.indexOf(word); at >= 0; at = block.indexOf(word, at)) {
      var text = textAt(at);
      holds[text] = 1;
      any = true;
      at = ends[text]; // one hit is enough for a text
    }
    if (!any)
      return;
    var from = 0;
    for (var cd = 0; cd < cdEnds.length; ++cd) {
      var to = cdEnds[cd];
      if (!marks[cd])
        for (var i = from; i < to; ++i)
          if (holds[textsOfCDs[i]]) {
            marks[cd] = 1;
            break;
          }
      from = to;
    }
  }

  // The CDs (their places in the list) where every word occurs, a word
  // that is a spelling of a name group finding every spelling of it.
  function cdsMatching(words) {
    var found = null;
    words.forEach(function (word) {
      var ofWord = new Uint8Array(cds.length);
      var group = data.groups[word];
      (group !== undefined ? spellingsOfGroup[group] : [word]).forEach(function (spelling) {
        markCDsWith(spelling, ofWord);
      });
      if (found)
        for (var i = 0; i < found.length; ++i)
          found[i] &= ofWord[i];
      else
        found = ofWord;
    });
    var places = [];
    for (var i = 0; found && i < found.length; ++i)
      if (found[i])
        places.push(i);
    return places;
  }

  // ---- the lists

  var cdField = {}, songField = {};
  data.cdFields.forEach(function (name, i) { cdField[name] = i; });
  data.songFields.forEach(function (name, i) { songField[name] = i; });
  var pageSize = 30; // CDs drawn at a time

  function el(tag, className, text) {
    var e = document.createElement(tag);
    if (className)
      e.className = className;
    if (text !== undefined)
      e.textContent = text;
    return e;
  }

  function cdText(cd, name) {
    return strings[cd.f[cdField[name]]] || '';
  }

  function songText(song, name) {
    return strings[song[songField[name]]] || '';
  }

  // One CD: jacket, title, where it is kept, its loan, fields, note, songs.
  function cdItem(place) {
    var cd = cds[place];
    var item = el('li', 'cd');
    if (cd.id !== undefined)
      item.setAttribute('data-cdid', String(cd.id));
    var head = el('div', 'cdhead');
    if (cd.j) {
      var img = el('img', 'jacket');
      img.src = cd.j;
      img.alt = 'ジャケット写真';
      img.loading = 'lazy';
      head.appendChild(img);
    }
    var titles = el('div', 'titles');
    titles.appendChild(el('h2', 'cdtitle', cdText(cd, 'CD名') || '（CD名なし）'));
    var facts = [];
    if (cd.id !== undefined)
      facts.push('CDID ' + cd.id);
    var cabinet = cdText(cd, 'キャビネット'), shelf = cdText(cd, '段');
    if (cabinet || shelf)
      facts.push('保管場所 ' + [cabinet && 'キャビネット ' + cabinet, shelf && shelf + '段']
        .filter(Boolean).join('・'));
    if (cd.r)
      facts.push('★★★★★'.slice(0, cd.r));
    titles.appendChild(el('p', 'facts', facts.join('　')));
    if (cd.l) {
      var loan = '貸出中：' + strings[cd.l[0]] + '（' + strings[cd.l[1]] + 'から';
      if (strings[cd.l[2]])
        loan += '、返却予定 ' + strings[cd.l[2]];
      titles.appendChild(el('p', 'loan', loan + '）'));
    }
    head.appendChild(titles);
    item.appendChild(head);
    var fields = el('dl', 'fields');
    data.cdFields.forEach(function (name, i) {
      if (name === 'CD名' || name === 'CDID' || name === 'キャビネット' || name === '段')
        return;
      var value = strings[cd.f[i]];
      if (value) {
        fields.appendChild(el('dt', '', name));
        fields.appendChild(el('dd', '', value));
      }
    });
    if (fields.firstChild)
      item.appendChild(fields);
    if (cd.n !== undefined)
      item.appendChild(el('p', 'note', strings[cd.n]));
    if (cd.s.length > 0) {
      var songs = el('ol', 'songs');
      cd.s.forEach(function (song) {
        var line = el('li', 'song');
        line.appendChild(el('span', 'songtitle', songText(song, '曲名') || '（曲名なし）'));
        var composer = songText(song, '作曲者名');
        if (composer)
          line.appendChild(el('span', 'composer', composer));
        var more = [];
        data.songFields.forEach(function (name, i) {
          if (name !== '曲名' && name !== '作曲者名' && name !== '曲ID' && strings[song[i]])
            more.push(name + '：' + strings[song[i]]);
        });
        if (more.length > 0)
          line.appendChild(el('span', 'songmore', more.join('　')));
        songs.appendChild(line);
      });
      item.appendChild(songs);
    }
    return item;
  }

  var field = document.getElementById('q');
  var list = document.getElementById('cds');
  var more = document.getElementById('more');
  var count = document.getElementById('count');
  var worksList = document.getElementById('works');
  var tabCds = document.getElementById('tabCds');
  var tabWorks = document.getElementById('tabWorks');
  var shown = []; // the places of the CDs the list shows now
  var listed = 0; // how many of them are drawn
  var chosen = null; // the CDs of a recording chosen in the works

  function drawMore() {
    var part = document.createDocumentFragment();
    var to = Math.min(shown.length, listed + pageSize);
    for (; listed < to; ++listed)
      part.appendChild(cdItem(shown[listed]));
    list.appendChild(part);
    more.hidden = list.hidden || listed >= shown.length;
    more.textContent = 'さらに表示（残り ' + (shown.length - listed) + ' 枚）';
  }

  function showCDs(places, caption) {
    shown = places;
    listed = 0;
    list.textContent = '';
    drawMore();
    count.textContent = caption + places.length + ' 枚';
  }

  // What the field holds now, found as quick find finds it.
  function search() {
    chosen = null;
    var typed = simplified(field.value);
    var words = findWords(typed);
    list.setAttribute('data-q', field.value);
    if (words.length === 0) {
      showCDs(cds.map(function (cd, i) { return i; }), '全CD ');
    } else {
      showCDs(cdsMatching(words), '「' + typed + '」を含むCD ');
    }
    if (!worksList.hidden)
      drawWorks();
  }

  // ---- the works by composer, narrowed to the CDs the search finds

  function drawWorks() {
    var within = null;
    if (findWords(simplified(field.value)).length > 0) {
      within = new Uint8Array(cds.length);
      shown.forEach(function (place) { within[place] = 1; });
    }
    var part = document.createDocumentFragment();
    data.works.forEach(function (composer) {
      var works = composer.w.map(function (work) {
        var recordings = work.r.filter(function (r) {
          return !within || r.cd.some(function (place) { return within[place]; });
        });
        return { work: work, recordings: recordings };
      }).filter(function (w) { return w.recordings.length > 0; });
      if (works.length === 0)
        return;
      var box = el('details', 'composerbox');
      var total = works.reduce(function (n, w) { return n + w.recordings.length; }, 0);
      box.appendChild(el('summary', '', (composer.c || '（作曲者名なし）') + '（' + works.length +
        '作品・' + total + '録音）'));
      box.addEventListener('toggle', function () {
        if (!box.open || box.querySelector('.work'))
          return;
        works.forEach(function (w) {
          var work = el('div', 'work');
          work.appendChild(el('h3', 'worktitle', w.work.t + (w.work.n ? '　' + w.work.n : '')));
          var recs = el('ul', 'recordings');
          w.recordings.forEach(function (r) {
            var line = el('li', 'recording');
            var about = [strings[r.p[0]], strings[r.p[1]], strings[r.p[2]],
              r.m > 1 ? r.m + '曲' : ''].filter(Boolean).join('　');
            var link = el('button', 'tocd', r.cd.map(function (place) {
              return cdText(cds[place], 'CD名');
            }).join('／') || '（CDなし）');
            link.type = 'button';
            link.addEventListener('click', function () {
              showTab(false);
              chosen = r.cd;
              showCDs(r.cd.slice(), '「' + w.work.t + '」の録音のCD ');
              window.scrollTo(0, 0);
            });
            line.appendChild(link);
            if (about)
              line.appendChild(el('span', 'about', about));
            recs.appendChild(line);
          });
          work.appendChild(recs);
          box.appendChild(work);
        });
      });
      part.appendChild(box);
    });
    worksList.textContent = '';
    worksList.appendChild(part);
    if (!worksList.firstChild)
      worksList.appendChild(el('p', 'none', '該当する作品はありません。'));
  }

  function showTab(works) {
    worksList.hidden = !works;
    list.hidden = works;
    more.hidden = works || listed >= shown.length;
    tabCds.setAttribute('aria-pressed', String(!works));
    tabWorks.setAttribute('aria-pressed', String(works));
    if (works)
      drawWorks();
  }

  document.getElementById('written').textContent =
    'CD ' + cds.length + ' 枚（' + data.written + ' 書き出し）';
  field.addEventListener('input', search);
  more.addEventListener('click', drawMore);
  tabCds.addEventListener('click', function () {
    showTab(false);
    if (chosen)
      search();
  });
  tabWorks.addEventListener('click', function () { showTab(true); });
  // index.html?q=TEXT opens with TEXT searched, so that a search is kept as a bookmark
  var asked = /[?&]q=([^&#]*)/.exec(window.location.search);
  if (asked)
    field.value = decodeURIComponent(asked[1].replace(/\+/g, ' '));
  search();
  page.setAttribute('data-ready', 'true');
}());
