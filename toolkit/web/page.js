// The page's half of the web backend: it builds the windows and controls as native elements,
// queues what happens to them for the program's loop, and carries out what the program asks.
// A typed or shown text only ever goes into textContent or value, never into markup.
var Drill = (function () {
  'use strict';
  const CLICK = 1, FOCUS = 2, ACTIVATE = 3, CLOSE = 4, QUIT = 5;
  const LABEL = 0, EDIT = 1, BUTTON = 2, OKBUTTON = 3, PANEL = 4;
  const FRAME = 4, CAPTION = 23; // the frame's border and title bar, as the desktop builds have
  const KEYS = {Enter: 0, Escape: 1, Tab: 2, ArrowLeft: 3, ArrowRight: 4, ArrowUp: 5, ArrowDown: 6};
  const queue = [];
  let wake = null;
  const forms = [];
  let box = null;
  let boxReturn = null;
  let widest = 0;
  let measure = null; // one canvas context measures every font
  let shownOnce = false;

  function el(tag, cls) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    return e;
  }
  function post(kind, form, control) {
    queue.push([kind, form, control]);
    if (wake) { const w = wake; wake = null; w(); }
  }

  // The page is the screen: scaled down to fit the widest window when the page is narrower.
  // Where a finger may tap, the title bar's close button is at least 24 CSS pixels square at
  // that scale, and the title bar as tall as it needs.
  const touch = window.matchMedia ? window.matchMedia('(any-pointer: coarse)') : {matches: false};
  let caption = CAPTION;
  function zoom() { return parseFloat(document.documentElement.style.zoom) || 1; }
  // The page's width as the screen gives it: a phone's browser widens its layout to the page's
  // content while that is wider (the windows placed for the screen before it was turned); the
  // visual viewport at its scale still tells the screen's width.
  function screenSize() {
    const v = window.visualViewport;
    return v ? [Math.min(window.innerWidth, Math.round(v.width * v.scale)),
                Math.min(window.innerHeight, Math.round(v.height * v.scale))]
             : [window.innerWidth, window.innerHeight];
  }
  function fit() {
    const margin = 8;
    const z = widest > 0 ? Math.min(1, screenSize()[0] / (widest + margin)) : 1;
    const root = document.documentElement;
    root.style.zoom = String(z);
    const close = touch.matches ? Math.ceil(24 / z) + 1 : 0;
    caption = Math.max(CAPTION, close + 4);
    root.style.setProperty('--caption', caption + 'px');
    if (close) root.style.setProperty('--close', close + 'px');
    else root.style.removeProperty('--close');
  }

  // When the page changes its size (a phone turned, a window made narrower, the browser's zoom),
  // the windows are placed again as on a screen of the new size, the page is as large as what
  // it shows, so that it scrolls to all of it, and the focused control stays in view.
  function relayout() {
    fit();
    forms.forEach(function (f) { if (f.placed) place(f); });
    if (box && box.open) placeBox();
    sizeDesktop();
    reveal(document.activeElement);
  }
  window.addEventListener('resize', relayout);
  if (touch.addEventListener) touch.addEventListener('change', relayout);

  function shown(f) { return f.modal ? f.root.open : !f.root.hidden; }
  function heightOf(f) { return f.height + caption - CAPTION; }
  function sizeDesktop() {
    let right = 0, bottom = 0;
    forms.forEach(function (f) {
      if (!shown(f)) return;
      right = Math.max(right, f.at[0] + f.width);
      bottom = Math.max(bottom, f.at[1] + heightOf(f));
    });
    if (box && box.open) {
      right = Math.max(right, parseFloat(box.style.left) + box.offsetWidth);
      bottom = Math.max(bottom, parseFloat(box.style.top) + box.offsetHeight);
    }
    const desktop = document.getElementById('desktop');
    desktop.style.minWidth = right + 'px';
    desktop.style.minHeight = bottom + 'px';
  }
  // The focused control in view, scrolling the page as little as needed.
  function reveal(c) {
    if (c && c !== document.body && c.scrollIntoView) {
      c.scrollIntoView({block: 'nearest', inline: 'nearest'});
    }
  }

  function controlOf(form, node) {
    const f = forms[form];
    for (let i = 0; i < f.controls.length; ++i) {
      if (f.controls[i].contains(node)) return i;
    }
    return -1;
  }

  function onKey(form, event) {
    const key = KEYS[event.key];
    if (key === undefined || event.isComposing) return;
    const control = controlOf(form, document.activeElement);
    const consumed = Module._drill_key(form, control, key, event.shiftKey ? 1 : 0,
                                       event.ctrlKey || event.metaKey ? 1 : 0, event.altKey ? 1 : 0);
    // A dialog closes on Escape and a button clicks on Enter by themselves; Tab would leave the
    // window. The program has judged the key; the browser does nothing more with it.
    if (consumed || key === KEYS.Escape || key === KEYS.Tab) {
      event.preventDefault();
    }
    event.stopPropagation();
  }

  function frameOf(form, modal, caption, width, height) {
    const w = el(modal ? 'dialog' : 'section', 'window');
    w.style.width = width + 'px';
    w.style.height = height + 'px';
    w.hidden = !modal;
    const bar = el('div', 'caption');
    const icon = el('span', 'icon');
    const title = el('span', 'title');
    title.textContent = caption;
    title.id = 'caption' + form;
    const close = el('button', 'close');
    close.type = 'button';
    close.tabIndex = -1;
    close.setAttribute('aria-hidden', 'true');
    close.textContent = '\u00d7';
    close.addEventListener('click', function () { post(CLOSE, form, -1); });
    bar.append(icon, title, close);
    const client = el('div', 'client');
    client.tabIndex = -1;
    client.style.width = (width - 2 * FRAME) + 'px';
    client.style.height = (height - 2 * FRAME - CAPTION) + 'px';
    w.append(bar, client);
    w.setAttribute('aria-labelledby', title.id);
    if (!modal) w.setAttribute('role', 'dialog');
    w.addEventListener('keydown', function (e) { onKey(form, e); });
    w.addEventListener('cancel', function (e) { e.preventDefault(); });
    w.addEventListener('focusin', function (e) {
      post(FOCUS, form, controlOf(form, e.target));
    });
    return {root: w, client: client, controls: [], modal: modal, left: 0, top: 0,
            width: width, height: height, at: [0, 0], placed: false, centred: false,
            asked: [0, 0]};
  }

  const api = {
    post: post,
    take: function () { return queue.shift(); },
    nextEvent: function () {
      return queue.length ? Promise.resolve() : new Promise(function (r) { wake = r; });
    },
    createForm: function (owned, caption, width, height) {
      const id = forms.length;
      const f = frameOf(id, owned !== 0, caption, width, height);
      forms.push(f);
      document.getElementById('desktop').append(f.root);
      widest = Math.max(widest, width);
      fit();
      return id;
    },
    createControl: function (form, kind, text, left, top, width, height, font, px, colour,
                             tabStop) {
      const f = forms[form];
      let c;
      if (kind === LABEL) {
        c = el('span', 'label');
        c.textContent = text;
      } else if (kind === EDIT) {
        c = el('input', 'edit');
        c.type = 'text';
        c.inputMode = 'numeric';
        c.autocomplete = 'off';
        c.spellcheck = false;
        c.value = text;
        c.style.width = width + 'px';
        c.style.height = height + 'px';
      } else if (kind === PANEL) {
        c = el('div', 'panel');
        c.tabIndex = -1;
        c.textContent = text;
        c.style.width = width + 'px';
        c.style.height = height + 'px';
        // The panel takes the focus by the arrow keys only, never by a click.
        c.addEventListener('mousedown', function (e) { e.preventDefault(); });
      } else {
        c = el('button', kind === OKBUTTON ? 'button ok' : 'button');
        c.type = 'button';
        // A tap presses a button without taking the focus, as touch screens do: the answer
        // field keeps it, with its on-screen keyboard, and has it back after a message box.
        c.addEventListener('pointerdown', function (e) {
          if (e.pointerType !== 'mouse') e.preventDefault();
        });
        if (kind === OKBUTTON) {
          const mark = el('span', 'mark');
          mark.setAttribute('aria-hidden', 'true');
          const caption = el('span');
          caption.textContent = text;
          c.append(mark, caption);
        } else {
          c.textContent = text;
        }
        c.style.width = width + 'px';
        c.style.height = height + 'px';
        const id = f.controls.length;
        c.addEventListener('click', function (e) {
          e.preventDefault();
          post(CLICK, form, id);
        });
      }
      if (kind !== LABEL && !tabStop) c.tabIndex = -1;
      c.style.left = left + 'px';
      c.style.top = top + 'px';
      c.style.fontFamily = font;
      c.style.fontSize = px + 'px';
      if (colour === 1) c.style.color = 'rgb(128, 0, 0)';
      c.dataset.kind = kind;
      f.client.append(c);
      f.controls.push(c);
      return f.controls.length - 1;
    },
    // The controls go into the page in reading order (lines: their numbers line by line, each
    // line ended by -1), the order in which a screen reader takes them, so that a number follows
    // the caption beside it. A field is named by the label left of it on its line (the answer
    // field by its exercise).
    controlsCreated: function (form, lines) {
      const f = forms[form];
      f.lines = [[]];
      lines.forEach(function (i) {
        if (i < 0) f.lines.push([]);
        else f.lines[f.lines.length - 1].push(f.controls[i]);
      });
      f.lines.pop();
      let n = 0;
      f.lines.forEach(function (line) {
        line.forEach(function (c, at) {
          f.client.append(c);
          if (c.dataset.kind != EDIT) return;
          const caption = line.slice(0, at).reverse().find(function (l) {
            return l.dataset.kind == LABEL;
          });
          if (caption) {
            if (!caption.id) caption.id = 'f' + form + 'l' + (n++);
            c.setAttribute('aria-labelledby', caption.id);
          }
        });
      });
    },
    text: function (form, control) {
      const c = forms[form].controls[control];
      return c.tagName === 'INPUT' ? c.value : c.textContent;
    },
    setText: function (form, control, text) {
      const c = forms[form].controls[control];
      if (c.tagName === 'INPUT') c.value = text;
      else if (c.classList.contains('ok')) c.lastChild.textContent = text;
      else c.textContent = text;
    },
    isEnabled: function (form, control) { return forms[form].controls[control].disabled ? 0 : 1; },
    setEnabled: function (form, control, enabled) {
      const c = forms[form].controls[control];
      if ('disabled' in c) c.disabled = !enabled;
    },
    focus: function (form, control, select) {
      const f = forms[form];
      const c = control < 0 ? f.client : f.controls[control];
      c.focus({preventScroll: true});
      if (select && c.tagName === 'INPUT') c.select();
      reveal(c);
    },
    hasFocus: function (form, control) {
      return document.activeElement === forms[form].controls[control] ? 1 : 0;
    },
    bounds: function (form, control) {
      const c = forms[form].controls[control];
      return [c.offsetLeft, c.offsetTop, c.offsetWidth, c.offsetHeight];
    },
    // centred: the window is centred on the screen, and stays centred when the screen changes;
    // any other window keeps its place, moved only as far as it must to stay on the screen.
    moveTo: function (form, left, top, centred) {
      const f = forms[form];
      f.left = left; f.top = top;
      f.centred = centred !== 0;
      f.asked = api.desktop();
      f.placed = true;
      place(f);
      sizeDesktop();
    },
    // Where the window is now, which the program reads when it places a window over it.
    frame: function (form) { return forms[form].at; },
    show: function (form) {
      const f = forms[form];
      if (f.modal) {
        // A dialog is described by its labels, line by line: «Ответили правильно на 16. Оценка 4».
        f.root.setAttribute('aria-description', f.lines.map(function (line) {
          return line.filter(function (c) { return c.dataset.kind == LABEL; })
            .map(function (c) { return c.textContent; }).join(' ').replace(/\s+/g, ' ').trim();
        }).filter(function (phrase) { return phrase; }).join('. '));
        if (!f.root.open) f.root.showModal();
      } else {
        f.root.hidden = false;
        if (!shownOnce) {
          // After the frame that shows the main window: the page's later work may begin.
          shownOnce = true;
          requestAnimationFrame(function () {
            setTimeout(function () { document.dispatchEvent(new Event('drill-shown')); }, 0);
          });
        }
      }
      place(f);
      sizeDesktop();
    },
    hide: function (form) {
      const f = forms[form];
      if (f.modal) { if (f.root.open) f.root.close(); } else f.root.hidden = true;
      sizeDesktop();
    },
    isVisible: function (form) {
      const f = forms[form];
      return (f.modal ? f.root.open : !f.root.hidden) ? 1 : 0;
    },
    desktop: function () {
      const z = zoom();
      const size = screenSize();
      return [Math.floor(size[0] / z), Math.floor(size[1] / z)];
    },
    zeroHeight: function (font, px) {
      measure = measure || document.createElement('canvas').getContext('2d');
      const context = measure;
      context.font = px + 'px ' + font;
      const m = context.measureText('0');
      return Math.round(m.fontBoundingBoxAscent + m.fontBoundingBoxDescent);
    },
    // The box speaks for the window that has the focus, and sits centred over it, as on the
    // desktop. Its text is the program's failure message, in English.
    showBox: function (caption, text) {
      boxReturn = document.activeElement;
      box = document.getElementById('box');
      box.querySelector('.title').textContent = caption;
      const message = box.querySelector('.text');
      message.textContent = text;
      message.lang = 'en';
      box.showModal();
      placeBox();
      sizeDesktop();
      const ok = box.querySelector('button.ok');
      ok.focus({preventScroll: true});
      reveal(ok);
    },
    boxOpen: function () { return box && box.open ? 1 : 0; },
    // The program has ended: the page closes where the browser lets it; otherwise it shows the
    // windows closed and the program's icon, which starts a new series.
    ended: function () {
      forms.forEach(function (f) { if (f.modal && f.root.open) f.root.close(); f.root.hidden = true; });
      try { window.close(); } catch (e) { /* a page that did not open itself stays */ }
      const again = document.getElementById('again');
      again.hidden = false;
      again.focus();
    },
  };

  // Inside the page, as the screen: a window is not placed where it could not be reached. A
  // window larger than the screen starts at its top left corner, and the page scrolls.
  function place(f) {
    const d = api.desktop();
    let left = f.left, top = f.top;
    if (f.centred) {
      left += Math.round((d[0] - f.asked[0]) / 2);
      top += Math.round((d[1] - f.asked[1]) / 2);
    }
    left = Math.max(0, Math.min(left, d[0] - f.width));
    top = Math.max(0, Math.min(top, d[1] - heightOf(f)));
    f.at = [left, top];
    f.root.style.left = left + 'px';
    f.root.style.top = top + 'px';
    f.root.style.height = heightOf(f) + 'px';
  }

  // Centred over the window it speaks for, and inside the part of the page in view.
  function placeBox() {
    const z = zoom();
    const owner = forms.find(function (f) { return shown(f) && f.root.contains(boxReturn); }) ||
                  forms.slice().reverse().find(shown);
    const view = [window.scrollX / z, window.scrollY / z,
                  document.documentElement.clientWidth / z, document.documentElement.clientHeight / z];
    const over = owner ? [owner.at[0], owner.at[1], owner.width, heightOf(owner)] : view;
    const w = box.offsetWidth, h = box.offsetHeight;
    const left = Math.max(view[0], Math.min(over[0] + (over[2] - w) / 2, view[0] + view[2] - w));
    const top = Math.max(view[1], Math.min(over[1] + (over[3] - h) / 2, view[1] + view[3] - h));
    box.style.left = Math.round(Math.max(0, left)) + 'px';
    box.style.top = Math.round(Math.max(0, top)) + 'px';
  }

  function closeBox() {
    if (!box || !box.open) return;
    box.close();
    sizeDesktop();
    if (boxReturn && boxReturn.focus) {
      boxReturn.focus({preventScroll: true});
      reveal(boxReturn);
    }
    post(6, -1, -1);
  }

  document.addEventListener('DOMContentLoaded', function () {
    const b = document.getElementById('box');
    b.querySelector('button.ok').addEventListener('click', closeBox);
    b.addEventListener('cancel', function (e) { e.preventDefault(); });
    b.addEventListener('keydown', function (e) {
      if (e.key === 'Escape' || e.key === 'Tab') e.preventDefault();
    });
    document.getElementById('again').addEventListener('click', function () {
      location.reload();
    });
  });
  return api;
})();

// Where the program cannot run (a browser without WebAssembly or without dialogs, a server that
// forbids running WebAssembly), the page says so in words instead of staying empty; with
// JavaScript switched off, index.html says it itself. The first reason found is the one shown.
function drillCannotRun(text, detail) {
  if (detail) console.error('Drill cannot run:', detail);
  const show = function () {
    const note = document.getElementById('cannot-run');
    if (!note || !note.hidden) return;
    note.textContent = text;
    note.hidden = false;
  };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', show);
  else show();
}
const drillLacks = typeof WebAssembly !== 'object' ? 'WebAssembly'
  : typeof HTMLDialogElement !== 'function' || !HTMLDialogElement.prototype.showModal ? 'dialog'
  : '';
if (drillLacks) {
  drillCannotRun(drillLacks === 'WebAssembly'
    ? 'Программа не может работать в этом браузере: в нём нет WebAssembly или оно отключено. ' +
      'Откройте эту страницу в современном браузере.'
    : 'Программа не может работать в этом браузере: он слишком старый (в нём нет диалоговых ' +
      'окон). Обновите браузер или откройте эту страницу в другом.', 'no ' + drillLacks);
}
Module.onAbort = function (what) {
  const refused = /Content Security Policy|wasm-eval|wasm-unsafe-eval/i.test(String(what));
  drillCannotRun(refused
    ? 'Программа не запустилась: сервер не разрешает браузеру выполнять её код. В заголовке ' +
      'Content-Security-Policy, который отдаёт сервер, в script-src нужно разрешить ' +
      '\'wasm-unsafe-eval\'.'
    : 'Программа не запустилась: браузер не смог выполнить её код. Обновите страницу; если ' +
      'не поможет, откройте её в другом браузере.', what);
};

// The program starts once the stand-in fonts are in: the layout is scaled by their measure. The
// stylesheet that declares them has loaded before this script runs, so they are decoded now,
// while the program's WebAssembly is being compiled, not after.
const drillFonts = [];
document.fonts.forEach(function (face) { drillFonts.push(face.load().catch(function () {})); });
// While the WebAssembly is still on its way, the canvas that measures the fonts is made and has
// measured each of them once: the first measure costs far more than the later ones.
const drillFontsIn = Promise.all(drillFonts).then(function () {
  try {
    document.fonts.forEach(function (face) {
      if (face.status === 'loaded') Drill.zeroHeight('"' + face.family.replace(/"/g, '') + '"', 13);
    });
  } catch (e) { /* measured again when the program asks */ }
});
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  if (drillLacks) addRunDependency('a browser that can run it'); // never there: no start
  addRunDependency('fonts');
  drillFontsIn.then(function () { removeRunDependency('fonts'); });
});
