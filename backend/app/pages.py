"""The web interface: one page that routes by its URL fragment ("#/setup", "#/settings", "#/m/<id>").

The meeting page plays each recording with one player: the sound drives, the screen video
follows it in step (`offset` seconds later), and a click on a still seeks both there."""

PAGE = """<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Quorvia</title>
<style>
 body { font: 15px system-ui, sans-serif; margin: 2rem auto; max-width: 60rem; padding: 0 1rem; color: #1d1d1f; }
 h1 { font-size: 1.4rem; } .muted { color: #6e6e73; } li { margin: .3rem 0; } .error { color: #b3261e; }
 button { font: inherit; padding: .35rem .9rem; } input[type=search], input[type=text] { font: inherit; padding: .35rem; width: 28rem; max-width: 100%; }
 video { width: 100%; background: #000; display: block; } audio { width: 100%; margin: .5rem 0; }
 .stills { list-style: none; padding: 0; } .stills li { display: flex; gap: 1rem; align-items: flex-start; border-top: 1px solid #ddd; padding: .5rem 0; }
 .stills button { padding: 0; border: 0; background: none; cursor: pointer; text-align: left; flex: none; }
 .stills img { width: 12rem; display: block; } .stills .text { white-space: pre-wrap; margin: 0; font-size: .85rem; }
 mark { background: #ffe58f; }
</style></head>
<body><h1><a href="#" style="color:inherit;text-decoration:none">Quorvia</a></h1><main id="view" class="muted">Loading…</main>
<script>
const view = document.getElementById('view');
let poll = null;
const api = (path, body, method) => fetch(path, body === undefined && !method ? {} :
  {method: method || 'POST', headers: {'Content-Type': 'application/json'}, body: body === undefined ? undefined : JSON.stringify(body)})
  .then(r => r.json());
const esc = s => String(s).replace(/[&<>"']/g, c => ({'&':'&amp;','<':'&lt;','>':'&gt;','"':'&quot;',"'":'&#39;'})[c]);
const clock = s => { s = Math.max(0, Math.floor(s)); const h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60, r = String(s % 60).padStart(2, '0');
  return h ? `${h}:${String(m).padStart(2, '0')}:${r}` : `${m}:${r}`; };
const when = iso => new Date(iso).toLocaleString();

function meetingRows(list, withPassage) {
  return list.map(m => `<li><a href="#/m/${encodeURIComponent(m.id)}">${esc(m.title)}</a>
    <span class="muted">${esc(when(m.start || m.created_at))}${m.duration ? ' · ' + clock(m.duration) : ''}</span>
    ${withPassage && m.passage ? `<div class="passage muted">${esc(m.passage).replace(/\\x02/g, '<mark>').replace(/\\x03/g, '</mark>')}</div>` : ''}</li>`).join('');
}
async function home() {
  const [st, list] = await Promise.all([api('/api/native/status'), api('/api/meetings')]);
  view.innerHTML = `<p>${st.recording ? 'Recording now.' : st.browser_recording ? 'Recording in the browser.' : 'Not recording.'}</p>
    <p><button id="rec">${st.browser_recording ? 'Stop browser recording' : 'Record in the browser'}</button>
       <a href="#/settings">Settings</a></p>
    <p><input type="search" id="q" placeholder="Search titles and the text on the screen" aria-label="Search"></p>
    <h2 id="heading">Meetings</h2><ul id="list">${meetingRows(list.meetings) || '<li class="muted">No meetings yet.</li>'}</ul>`;
  document.getElementById('rec').onclick = () =>
    api(st.browser_recording ? '/api/browser/stop' : '/api/browser/start', {}).then(route);
  let timer = null;
  document.getElementById('q').oninput = e => { clearTimeout(timer); timer = setTimeout(() => search(e.target.value, list), 250); };
}
async function search(q, all) {
  const heading = document.getElementById('heading'), list = document.getElementById('list');
  if (!q.trim()) { heading.textContent = 'Meetings'; list.innerHTML = meetingRows(all.meetings); return; }
  const found = await api('/api/search?q=' + encodeURIComponent(q));
  if (document.getElementById('q')?.value !== q) return;  // a newer search is under way
  heading.textContent = 'Found';
  list.innerHTML = meetingRows(found.meetings, true) || '<li class="muted">Nothing found.</li>';
}
async function setup() {
  view.innerHTML = `<h2>Set up</h2><p>Quorvia records meetings on this computer and writes their minutes.</p>
    <button id="done">Finish setup</button>`;
  document.getElementById('done').onclick = () => api('/api/setup', {done: true}).then(() => location.hash = '');
}
async function settings(s) {
  s = s || await api('/api/settings');
  const rows = s.calendars.map((c, i) => `<li><code>${esc(c.source)}</code>
    ${c.error ? `<span class="error">${esc(c.error)}</span>` : c.checked_at ? `<span class="muted">${c.events} event(s), read ${esc(when(c.checked_at))}</span>` : ''}
    <button data-i="${i}">Remove</button></li>`);
  view.innerHTML = `<h2>Settings</h2><label><input type="checkbox" id="auto" ${s.auto_minutes ? 'checked' : ''}>
    Write the minutes when a recording stops</label>
    <h3>Calendars</h3><p class="muted">iCalendar files, or the private address your calendar service publishes (https or webcal).</p>
    <ul id="cals">${rows.join('') || '<li class="muted">None yet.</li>'}</ul>
    <form id="add"><input type="text" id="src" placeholder="/home/you/work.ics or https://…" aria-label="Calendar">
    <button>Add</button></form>`;
  const sources = s.calendars.map(c => c.source);
  const save = list => { view.querySelector('#add button').disabled = true; api('/api/settings', {calendars: list}).then(settings); };
  document.getElementById('auto').onchange = e => api('/api/settings', {auto_minutes: e.target.checked});
  document.getElementById('add').onsubmit = e => { e.preventDefault(); const v = document.getElementById('src').value.trim(); if (v) save([...sources, v]); };
  view.querySelectorAll('#cals button').forEach(b => b.onclick = () => save(sources.filter((_, i) => i !== +b.dataset.i)));
}

// The sound drives, the video follows `offset` seconds behind it.
function follow(player, video, offset) {
  if (!video || player === video) return;
  const target = () => Math.max(0, player.currentTime - offset);
  const inVideo = () => player.currentTime >= offset && (!video.duration || target() < video.duration);
  const sync = () => { if (Math.abs(video.currentTime - target()) > 0.3) video.currentTime = target(); };
  const step = () => { sync(); if (!player.paused && inVideo()) { if (video.paused) video.play().catch(() => {}); } else if (!video.paused) video.pause(); };
  ['play', 'pause', 'seeked', 'timeupdate', 'ratechange'].forEach(e => player.addEventListener(e, step));
  player.addEventListener('ratechange', () => video.playbackRate = player.playbackRate);
}
function partHtml(p, i, count) {
  const stills = p.stills.map(s => `<li data-file="${esc(s.file)}"><button data-t="${s.t}" title="Play from ${clock(s.t)}">
      <img loading="lazy" src="${esc(s.url)}" alt="Still at ${clock(s.t)}"><span class="muted">${clock(s.t)}</span></button>
      <p class="text">${s.text === null ? '<span class="muted">Reading the text…</span>' : esc(s.text)}</p></li>`).join('');
  const media = (p.video ? `<video class="video" muted playsinline preload="metadata" src="${esc(p.video)}" ${p.audio ? '' : 'controls'}></video>` : '')
    + (p.audio ? `<audio class="sound" controls preload="metadata" src="${esc(p.audio)}"></audio>` : '');
  return `<section class="part" data-id="${p.id}">${count > 1 ? `<h3>Recording ${i + 1}</h3>` : ''}
    <p class="muted">${esc(when(p.started_at))} · ${p.recording ? 'recording now' : clock(p.duration)}</p>
    <ul class="notes">${p.notes.map(n => `<li>${esc(n)}</li>`).join('')}</ul>
    ${p.recording ? '' : media || '<p class="muted">Nothing to play.</p>'}
    ${stills ? `<h4>Stills</h4><ol class="stills">${stills}</ol>` : ''}</section>`;
}
async function meeting(id) {
  const m = await api('/api/meetings/' + encodeURIComponent(id));
  if (m.error) { view.innerHTML = esc(m.error); return; }
  view.innerHTML = `<h2>${esc(m.title)}</h2><p class="muted">Started ${esc(when(m.start))} · ${clock(m.duration)}</p>
    ${m.parts.map((p, i) => partHtml(p, i, m.parts.length)).join('') || '<p class="muted">No recording yet.</p>'}
    <p><button id="delete">Delete this meeting</button> <a href="#">All meetings</a></p>`;
  for (const p of m.parts) {
    const section = view.querySelector(`.part[data-id="${p.id}"]`);
    const video = section.querySelector('.video'), player = section.querySelector('.sound') || video;
    follow(player, video, p.offset);
    section.querySelectorAll('.stills button').forEach(b => b.onclick = () => {
      player.currentTime = +b.dataset.t + (player === video ? 0 : p.offset);
      player.play().catch(() => {});
    });
  }
  document.getElementById('delete').onclick = () => {
    if (confirm('Delete this meeting with its recordings? This cannot be undone.'))
      api('/api/meetings/' + encodeURIComponent(id), undefined, 'DELETE').then(r => r.error ? alert(r.error) : location.hash = '');
  };
  if (m.parts.some(p => p.recording || !p.processed)) poll = setTimeout(() => refresh(id, m), 3000);
}
// Fills in what the work after the stop adds (the text, the mix, notes) without disturbing playback.
async function refresh(id, before) {
  const m = await api('/api/meetings/' + encodeURIComponent(id));
  if (location.hash !== '#/m/' + id || m.error) return;
  if (m.parts.length !== before.parts.length || m.parts.some((p, i) => p.recording !== before.parts[i].recording)) return meeting(id);
  for (const p of m.parts) {
    const section = view.querySelector(`.part[data-id="${p.id}"]`);
    section.querySelector('.notes').innerHTML = p.notes.map(n => `<li>${esc(n)}</li>`).join('');
    for (const s of p.stills) {
      const text = section.querySelector(`li[data-file="${CSS.escape(s.file)}"] .text`);
      if (text && s.text !== null) text.textContent = s.text;
    }
    const sound = section.querySelector('.sound');
    if (sound && p.audio && !sound.src.endsWith(p.audio) && sound.paused && sound.currentTime === 0) sound.src = p.audio;
  }
  if (m.parts.some(p => p.recording || !p.processed)) poll = setTimeout(() => refresh(id, m), 3000);
}
function route() {
  clearTimeout(poll);
  const h = decodeURIComponent(location.hash.slice(1));
  if (h === '/setup') return setup();
  if (h === '/settings') return settings();
  if (h.startsWith('/m/')) return meeting(h.slice(3));
  return home();
}
window.onhashchange = route; route();
</script></body></html>
"""
