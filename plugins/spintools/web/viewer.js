// A 360 viewer for one exported spin: no library, no network, works from the file system.
// Options come from the page's JSON config, overridden by data attributes of the element
// (data-reverse, data-autoplay, data-frame-time). The shown frame is in data-frame and data-row
// and announced by the event "spin360:frame" (and to a parent page by postMessage).
(function () {
  'use strict';

  function flag(element, name, fallback) {
    var value = element.dataset[name];
    return value === undefined ? fallback : value !== 'false' && value !== '0';
  }

  // Halving strides: after a few frames the whole turn is roughly covered.
  function loadOrder(count) {
    var order = [], seen = {};
    for (var stride = count; stride >= 1; stride = Math.floor(stride / 2)) {
      for (var i = 0; i < count; i += stride) {
        if (!seen[i]) { seen[i] = true; order.push(i); }
      }
      if (stride === 1) break;
    }
    return order;
  }

  function Spin360(element, config) {
    this.el = element;
    this.config = config;
    this.view = element.querySelector('.spin360-view');
    this.bar = element.querySelector('.spin360-bar');
    this.rows = config.frames.length;
    this.columns = config.frames[0].length;
    this.total = this.rows * this.columns;
    this.reverse = flag(element, 'reverse', config.reverse);
    this.frameTime = Number(element.dataset.frameTime) || config.frameTime;
    this.row = 0;
    this.frame = 0;
    this.loaded = config.frames.map(function (row) { return row.map(function () { return false; }); });
    this.loadedCount = 0;
    this.images = [];
    this.zoomed = false;
    this.pan = { x: 0, y: 0 };
    this.timer = null;
    if (this.rows > 1) element.classList.add('spin360-rows');
    element.querySelector('.spin360-controls').hidden = false;
    if (!config.zoom.length) element.querySelector('.spin360-zoom').hidden = true;
    this.listen();
    this.loadFrames();
  }

  Spin360.prototype.loadFrames = function () {
    var self = this, first = this.view;
    var firstShown = function () {
      performance.mark('spin360-first-frame');
      self.markLoaded(0, 0);
      for (var r = 0; r < self.rows; r++) {
        loadOrder(self.columns).forEach(function (c) { if (r || c) self.load(r, c); });
      }
    };
    this.el.querySelector('.spin360-loading').hidden = this.total === 1;
    if (first.complete && first.naturalWidth) firstShown();
    else first.addEventListener('load', firstShown, { once: true });
  };

  Spin360.prototype.load = function (row, column) {
    var self = this, image = new Image();
    image.onload = function () { self.markLoaded(row, column); };
    image.onerror = function () { self.markLoaded(row, column, true); };
    image.src = this.config.frames[row][column];
    this.images.push(image);
  };

  Spin360.prototype.markLoaded = function (row, column, failed) {
    this.loaded[row][column] = !failed;
    this.loadedCount++;
    this.el.dataset.loaded = this.loadedCount;
    this.bar.style.width = (100 * this.loadedCount / this.total) + '%';
    if (this.loadedCount < this.total) return;
    this.el.querySelector('.spin360-loading').hidden = true;
    performance.mark('spin360-all-frames');
    this.el.dispatchEvent(new CustomEvent('spin360:loaded', { bubbles: true }));
    var still = window.matchMedia && window.matchMedia('(prefers-reduced-motion: reduce)').matches;
    if (flag(this.el, 'autoplay', this.config.autoplay) && !this.touched && !still) this.play(this.columns);
  };

  // The nearest frame of the row that has arrived, so a turn works while others still load.
  Spin360.prototype.nearestLoaded = function (row, column) {
    for (var d = 0; d <= this.columns / 2; d++) {
      var after = (column + d) % this.columns, before = (column - d + this.columns) % this.columns;
      if (this.loaded[row][after]) return after;
      if (this.loaded[row][before]) return before;
    }
    return -1;
  };

  Spin360.prototype.show = function (row, column) {
    row = Math.max(0, Math.min(this.rows - 1, row));
    column = ((column % this.columns) + this.columns) % this.columns;
    var shown = this.nearestLoaded(row, column);
    if (shown < 0 || (row === this.row && shown === this.frame)) return;
    this.row = row;
    this.frame = shown;
    this.view.src = this.zoomed ? this.config.zoom[row][shown] : this.config.frames[row][shown];
    this.el.dataset.frame = shown;
    this.el.dataset.row = row;
    var detail = { frame: shown, row: row, angle: this.config.angles[row][shown], shot: this.config.shots[row][shown] };
    this.el.dispatchEvent(new CustomEvent('spin360:frame', { bubbles: true, detail: detail }));
    if (window.parent !== window) window.parent.postMessage({ type: 'spin360:frame', detail: detail }, '*');
  };

  Spin360.prototype.turn = function (frames, rows) {
    this.show(this.row + (rows || 0), this.frame + (this.reverse ? -frames : frames));
  };

  Spin360.prototype.play = function (steps) {
    var self = this;
    this.stop();
    this.el.dataset.playing = 'true';
    this.el.querySelector('.spin360-play').innerHTML = '&#10074;&#10074;';
    this.timer = setInterval(function () {
      self.turn(1);
      if (steps !== undefined && --steps <= 0) self.stop();
    }, this.frameTime);
  };

  Spin360.prototype.stop = function () {
    clearInterval(this.timer);
    this.timer = null;
    this.el.dataset.playing = 'false';
    this.el.querySelector('.spin360-play').innerHTML = '&#9654;';
  };

  Spin360.prototype.zoom = function (on) {
    if (!this.config.zoom.length || on === this.zoomed) return;
    this.zoomed = on;
    this.pan = { x: 0, y: 0 };
    this.el.classList.toggle('spin360-zoomed', on);
    this.view.style.transform = on ? 'scale(2)' : '';
    this.view.src = (on ? this.config.zoom : this.config.frames)[this.row][this.frame];
  };

  Spin360.prototype.panBy = function (dx, dy) {
    var w = this.el.clientWidth / 2, h = this.el.clientHeight / 2;
    this.pan.x = Math.max(-w, Math.min(w, this.pan.x + dx / 2));
    this.pan.y = Math.max(-h, Math.min(h, this.pan.y + dy / 2));
    this.view.style.transform = 'scale(2) translate(' + this.pan.x + 'px,' + this.pan.y + 'px)';
  };

  Spin360.prototype.listen = function () {
    var self = this, el = this.el, drag = null;
    var interrupt = function () { self.touched = true; self.stop(); };
    el.addEventListener('pointerdown', function (e) {
      if (e.button !== 0 || e.target.tagName === 'BUTTON') return;
      interrupt();
      el.setPointerCapture(e.pointerId);
      el.classList.add('spin360-dragging');
      drag = { x: e.clientX, y: e.clientY, frame: self.frame, row: self.row };
    });
    el.addEventListener('pointermove', function (e) {
      if (!drag) return;
      if (self.zoomed) {
        self.panBy(e.clientX - drag.x, e.clientY - drag.y);
        drag.x = e.clientX;
        drag.y = e.clientY;
        return;
      }
      // One drag across the width is one turn; one across the height passes every row.
      var frames = Math.round((e.clientX - drag.x) / (el.clientWidth / self.columns));
      var rows = Math.round((e.clientY - drag.y) / (el.clientHeight / self.rows));
      self.show(drag.row + (self.rows > 1 ? rows : 0), drag.frame + (self.reverse ? -frames : frames));
    });
    var end = function () { drag = null; el.classList.remove('spin360-dragging'); };
    el.addEventListener('pointerup', end);
    el.addEventListener('pointercancel', end);
    el.addEventListener('dblclick', function () { self.zoom(!self.zoomed); });
    var wheel = 0;
    el.addEventListener('wheel', function (e) {
      e.preventDefault();
      interrupt();
      wheel += e.deltaMode === 0 ? e.deltaY : e.deltaY * 40;
      var steps = wheel > 0 ? Math.floor(wheel / 40) : Math.ceil(wheel / 40);
      if (steps) { wheel -= steps * 40; self.turn(steps); }
    }, { passive: false });
    el.addEventListener('keydown', function (e) {
      var keys = { ArrowRight: [1, 0], ArrowLeft: [-1, 0], ArrowDown: [0, 1], ArrowUp: [0, -1] };
      if (keys[e.key]) { interrupt(); self.turn(keys[e.key][0], keys[e.key][1]); }
      else if (e.key === 'Home') { interrupt(); self.show(self.row, 0); }
      else if (e.key === ' ') { if (self.timer) interrupt(); else self.play(); }
      else if (e.key === '+' || e.key === '=') self.zoom(true);
      else if (e.key === '-' || e.key === 'Escape') self.zoom(false);
      else return;
      e.preventDefault();
    });
    el.querySelector('.spin360-play').addEventListener('click', function () {
      if (self.timer) interrupt(); else self.play();
    });
    el.querySelector('.spin360-zoom').addEventListener('click', function () { self.zoom(!self.zoomed); });
  };

  var element = document.querySelector('.spin360');
  var config = JSON.parse(document.getElementById('spin360-config').textContent);
  window.spin360 = new Spin360(element, config);
})();
