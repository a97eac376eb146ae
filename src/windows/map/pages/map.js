// The map page: the track of the recordings, the event icons and the position marker on
// Leaflet. It reaches the program's host object ("sample") through Qt WebChannel; every host
// call answers through a callback. Without tiles (no connection) everything is still drawn on a
// plain background with a scale bar; the tiles come back with the connection.
'use strict';

var g_lastJpgNum = -1;
var g_isStartInitConnect = false;
var g_isInitConnect = false;  // the map exists and the host knows it: the page is usable
var g_isInit = false;
var g_map = null;
var g_marker = null;
var g_newlat = null;
var g_newlng = null;
var g_host = null;
var g_tiles = null;  // the tile layer while the tile host can be reached

var ICON_GFORCE = 'qrc:/skin/map_icon_gforce.svg';
var g_iconurl = [ICON_GFORCE, ICON_GFORCE, ICON_GFORCE, ICON_GFORCE, ICON_GFORCE,
                 'qrc:/skin/map_icon_user.svg', 'qrc:/skin/map_icon_emergency.svg',
                 'qrc:/skin/map_icon_parking.svg'];
var g_shadow = 'qrc:/skin/map_icon_shadow.svg';

var GROUP_SPLIT_DEGREES = 0.001385;
var COLOR_HISTORY = '#0000FF';
var COLOR_AHEAD = '#FF0000';

function isNum(v) { return typeof v === 'number' && isFinite(v); }
function onEarth(lat, lng) { return isNum(lat) && isNum(lng) && Math.abs(lat) <= 90 && Math.abs(lng) <= 180; }
function field(id) { return document.getElementById(id); }

// ---- point lists and track groups -------------------------------------------------------

function PointList() {
  this.points = [];
  this.JpgNumList = [];
}
// Reads the host's GPS array: triples (latitude, longitude, position) and a trailing count.
PointList.prototype.GetPoints = function (arr) {
  if (!g_isInitConnect || !Array.isArray(arr) || arr.length <= 1)
    return;
  var f = new Float32Array(arr.map(function (v) { return isNum(v) ? v : NaN; }));
  for (var i = 0; i < f.length - 1 && i + 2 < f.length; i += 3) {
    var lat = f[i], lng = f[i + 1], num = f[i + 2];
    if (!onEarth(lat, lng) || !isNum(num))
      continue;
    this.points.push(L.latLng(lat, lng));
    this.JpgNumList.push(num);
  }
};
PointList.prototype.ReleasePoints = function () {
  this.points = [];
  this.JpgNumList = [];
};

function OrbitGrp(start, end) {
  this.start = start;
  this.end = end;
}

function OrbitGrpList() {
  this.orbitlist = [];
  this.grpline = [];
  this.histline = [];
  this.schline = [];
  this.grplist = new PointList();
  this.gridlist = new PointList();
  this.drawnIndex = -2;  // index the current-recording lines were last drawn for
  this.moves = 0;        // marker moves so far
}

// Splits a point array into groups where consecutive points lie more than 0.001385 degrees
// apart (longitude difference scaled by the cosine of the point's latitude).
OrbitGrpList.prototype.GetOrbitGroup = function (points) {
  this.orbitlist = [];
  if (points.length === 0)
    return this.orbitlist;
  var start = 0;
  for (var i = 1; i < points.length; i++) {
    var dlat = points[i].lat - points[i - 1].lat;
    var dlng = (points[i].lng - points[i - 1].lng) * Math.cos(points[i].lat * Math.PI / 180);
    if (Math.sqrt(dlat * dlat + dlng * dlng) > GROUP_SPLIT_DEGREES) {
      this.orbitlist.push(new OrbitGrp(start, i - 1));
      start = i;
    }
  }
  this.orbitlist.push(new OrbitGrp(start, points.length - 1));
  return this.orbitlist;
};

// Draws points start .. end - 1 of a list; z-index 1 is the whole trip, 2 the recording.
OrbitGrpList.prototype.DrawGridLine = function (list, start, end, color, opacity, zindex, into) {
  if (!g_isInitConnect || !g_map)
    return;
  var slice = list.points.slice(start, end);
  if (slice.length < 2)
    return;  // a single point draws no line
  var line = L.polyline(slice, {
    color: color, opacity: opacity, weight: 3, interactive: false,
    pane: zindex >= 2 ? 'gridPane' : 'tripPane'
  }).addTo(g_map);
  into.push(line);
};

OrbitGrpList.prototype.RemoveLines = function (lines) {
  for (var i = 0; i < lines.length; i++)
    if (g_map) g_map.removeLayer(lines[i]);
  lines.length = 0;
};

OrbitGrpList.prototype.RemoveLineList = function () {
  this.RemoveLines(this.grpline);
  this.RemoveLines(this.histline);
  this.RemoveLines(this.schline);
  this.drawnIndex = -2;
};

// The whole trip (all recordings) in light red.
OrbitGrpList.prototype.CreateLine = function () {
  if (!g_isInitConnect)
    return;
  g_lastJpgNum = -1;
  this.grplist.ReleasePoints();
  var self = this;
  g_host.JS2C_GetGPSData(function (arr) {
    self.grplist.ReleasePoints();  // an earlier request may have answered in between
    self.grplist.GetPoints(arr);
    var groups = self.GetOrbitGroup(self.grplist.points);
    self.RemoveLines(self.grpline);
    for (var i = 0; i < groups.length; i++)
      self.DrawGridLine(self.grplist, groups[i].start, groups[i].end + 1, COLOR_AHEAD, 0.5, 1,
                        self.grpline);
  });
};

// The current recording's track; then the marker.
OrbitGrpList.prototype.CreateGridLine = function (iGrid) {
  if (!g_isInitConnect)
    return;
  g_lastJpgNum = -1;
  this.gridlist.ReleasePoints();
  this.drawnIndex = -2;
  var self = this;
  g_host.JS2C_GetGridData(isNum(iGrid) ? iGrid : 0, function (arr) {
    self.gridlist.ReleasePoints();
    self.gridlist.GetPoints(arr);
    self.GetOrbitGroup(self.gridlist.points);
    self.MoveMarker();
  });
};

// The point index for a position: the first point whose position is at least num, one back
// when above 0, clamped to the last point; -1 for position -1 or no points.
OrbitGrpList.prototype.GetIndex = function (num) {
  if (!isNum(num) || num === -1)
    return -1;
  g_lastJpgNum = num;
  var list = this.gridlist.JpgNumList;
  var i = 0;
  while (i < list.length && list[i] < num)
    i++;
  if (i > 0)
    i--;
  if (i > list.length - 1)
    i = list.length - 1;
  return i;
};

// Moves the marker to the position num (asks the host when none is given) and splits the
// recording's track into the part behind (blue) and ahead (red).
OrbitGrpList.prototype.MoveMarker = function (num) {
  if (!g_isInitConnect)
    return;
  var self = this;
  if (isNum(num)) {
    self.MoveMarkerTo(num);
    return;
  }
  // The answer comes later; when the marker was moved meanwhile (a frame pushed by the host),
  // the answer is older than that move and is dropped, so the marker never steps back.
  var asked = self.moves;
  g_host.JS2C_GetRelJpgNum(function (s) {
    if (self.moves === asked)
      self.MoveMarkerTo(Number(s));
  });
};

OrbitGrpList.prototype.MoveMarkerTo = function (num) {
  if (!g_isInitConnect || !g_map)
    return;
  this.moves++;
  var index = this.GetIndex(num);
  if (index < 0)
    return;
  if (index !== this.drawnIndex) {
    this.drawnIndex = index;
    this.RemoveLines(this.histline);
    this.RemoveLines(this.schline);
    var list = this.gridlist;
    for (var i = 0; i < this.orbitlist.length; i++) {
      var g = this.orbitlist[i];
      if (g.end <= index) {
        this.DrawGridLine(list, g.start, g.end + 1, COLOR_HISTORY, 1.0, 2, this.histline);
      } else if (g.start <= index) {
        this.DrawGridLine(list, g.start, index + 1, COLOR_HISTORY, 1.0, 2, this.histline);
        this.DrawGridLine(list, index, g.end + 1, COLOR_AHEAD, 0.9, 2, this.schline);
      } else {
        this.DrawGridLine(list, g.start, g.end + 1, COLOR_AHEAD, 0.9, 2, this.schline);
      }
    }
  }
  var pos = this.gridlist.points[index];
  if (!pos) {
    if (!onEarth(g_newlat, g_newlng))
      return;
    pos = L.latLng(g_newlat, g_newlng);
  }
  g_map.panTo(pos, { animate: false });
  if (g_marker)
    g_marker.setLatLng(pos);
  else
    g_marker = L.marker(pos, { interactive: false, keyboard: false }).addTo(g_map);
};

// ---- event icons --------------------------------------------------------------------------

function CrashPoint(marker, v) {
  this.marker = marker;
  this.icolor = v[0];
  this.levelx = v[1]; this.levely = v[2]; this.levelz = v[3];
  this.ifile = v[4]; this.igrid = v[5]; this.ipos = v[6];
  this.lat = v[7]; this.lng = v[8]; this.valid = v[9];
  this.speed = v[10]; this.direction = v[11];
}

function CpList() {
  this.markers = [];
  this.indexfunc = [function (n, i) { return n - 1 - i; }, function (n, i) { return i; }];
  this.checkfunc = [function (cp, ipos) { return cp.ipos <= ipos; },
                    function (cp, ipos) { return cp.ipos >= ipos; }];
}

CpList.prototype.ClearCrashPos = function () {
  for (var i = 0; i < this.markers.length; i++)
    if (g_map) g_map.removeLayer(this.markers[i].marker);
  this.markers = [];
};

CpList.prototype.AddCrashPos = function (icolor, levelx, levely, levelz, ifile, igrid, ipos,
                                         lat, lng, valid, speed, direction) {
  if (!g_isInitConnect || !g_map)
    return;
  var v = Array.prototype.slice.call(arguments, 0, 12);
  if (v.length !== 12 || !v.every(isNum) || !Number.isInteger(icolor) || icolor < 0 ||
      icolor >= g_iconurl.length || !onEarth(lat, lng))
    return;
  var icon = L.icon({
    iconUrl: g_iconurl[icolor], iconSize: [32, 32], iconAnchor: [16, 32],
    shadowUrl: g_shadow, shadowSize: [49, 32], shadowAnchor: [16, 32]
  });
  var marker = L.marker([lat, lng], { icon: icon, keyboard: false }).addTo(g_map);
  var cp = new CrashPoint(marker, v);
  this.markers.push(cp);
  var self = this;
  marker.on('click', function () { self.SetCrashPos(self.markers.indexOf(cp), null); });
  g_host.JS2C_GetMarkLabel(icolor, valid, speed, function (name) {
    if (typeof name !== 'string' || name === '')
      return;
    var label = document.createElement('span');
    label.textContent = name;  // text, never markup
    marker.bindTooltip(label, { direction: 'top', offset: [0, -32] });
  });
};

// Reports the icon's event to the host (which seeks to its frame). With a predicate, returns
// true without doing anything when it holds for the point.
CpList.prototype.SetCrashPos = function (i, pred, ipos) {
  var cp = this.markers[i];
  if (!cp)
    return false;
  if (typeof pred === 'function' && pred(cp, ipos))
    return true;
  g_host.JS2C_OnClickCrashPoint(cp.ifile, cp.igrid, cp.ipos, cp.valid, cp.lat, cp.lng,
                                cp.speed, cp.direction);
  if (g_isInitConnect)
    orbitgrplist.MoveMarker();
  return false;
};

var orbitgrplist = new OrbitGrpList();
var cplist = new CpList();

// ---- connection, start-up and the show loop ----------------------------------------------

function setOnline(online) {
  if (!g_map)
    return;
  var canvas = field('map_canvas');
  if (online && !g_tiles) {
    g_tiles = L.tileLayer(g_host.tileUrl, {
      attribution: g_host.attribution, maxZoom: 19, crossOrigin: false
    }).addTo(g_map);
    canvas.classList.remove('offline');
  } else if (!online && g_tiles) {
    g_map.removeLayer(g_tiles);
    g_tiles = null;
  }
  if (!g_tiles)
    canvas.classList.add('offline');
}

// Asks the host whether the tile host answers; adds or drops the tiles. The callback gets
// whether the page is usable (it is, with or without tiles, once the map exists).
function ConnectTest(callback) {
  g_host.JS2C_ConnectTest(function (connected) {
    setOnline(connected === 1 || connected === true);
    if (callback)
      callback(g_isInitConnect);
  });
}

function loadLibs() {
  window.onerror = function () { return true; };
  L.Icon.Default.imagePath = 'qrc:/map/leaflet/images/';
  g_map = L.map('map_canvas', { zoomControl: true, attributionControl: true })
              .setView([0.0, 0.0], 16);
  g_map.createPane('tripPane').style.zIndex = 410;
  g_map.createPane('gridPane').style.zIndex = 420;
  L.control.scale({ imperial: false }).addTo(g_map);
  g_marker = L.marker([0.0, 0.0], { interactive: false, keyboard: false }).addTo(g_map);
  field('map_canvas').classList.add('offline');
  g_isInitConnect = true;
  g_host.JS2C_OnInitHtml();
}

function statusText() { return String(field('map_status').value).toLowerCase(); }
function playing() { var s = statusText(); return s !== 'pause' && s !== 'stop'; }

function show() {
  var lat = Number(field('map_lat').value);
  var lng = Number(field('map_lng').value);
  g_newlat = isFinite(lat) ? lat : 0;
  g_newlng = isFinite(lng) ? lng : 0;
  if (g_newlat < 1000.0 && g_newlng < 1000.0) {
    ConnectTest(function (usable) {
      if (usable && playing() &&
          ((g_newlat !== 0 && g_newlng !== 0) || g_lastJpgNum === -1))
        orbitgrplist.MoveMarker();
    });
  } else if (!g_isInit) {
    ConnectTest();
    g_isInit = true;
  }
  g_host.JS2C_SetSend();
  window.setTimeout(show, 1000);
}

function onUpdate(json) {
  var o;
  try { o = JSON.parse(json); } catch (e) { return; }
  if (!o || o.val_command !== 'update')
    return;
  ['map_lat', 'map_lng', 'map_status'].forEach(function (k) {
    if (typeof o[k] === 'string')
      field(k).value = o[k];
  });
}

function initialize() {
  g_lastJpgNum = -1;
  new QWebChannel(qt.webChannelTransport, function (channel) {
    g_host = channel.objects.sample;
    g_host.sendUpdate.connect(onUpdate);
    g_host.connectedChanged.connect(function () { ConnectTest(); });
    // Each play-clock frame: the marker follows the picture while playing.
    g_host.positionChanged.connect(function () {
      if (playing())
        orbitgrplist.MoveMarker(g_host.relJpgNum);
    });
    loadLibs();
    show();
  });
}

window.addEventListener('load', initialize);
