"""The web interface: one page that routes by its URL fragment ("#/setup", "#/settings", "#/m/<id>")."""

PAGE = """<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Quorvia</title>
<style>
 body { font: 15px system-ui, sans-serif; margin: 2rem auto; max-width: 44rem; color: #1d1d1f; }
 h1 { font-size: 1.4rem; } .muted { color: #6e6e73; } li { margin: .3rem 0; }
 button { font: inherit; padding: .35rem .9rem; }
</style></head>
<body><h1>Quorvia</h1><main id="view" class="muted">Loading…</main>
<script>
const view = document.getElementById('view');
const api = (path, body) => fetch(path, body === undefined ? {} :
  {method: 'POST', headers: {'Content-Type': 'application/json'}, body: JSON.stringify(body)})
  .then(r => r.json());
const esc = s => String(s).replace(/[&<>"]/g, c => ({'&':'&amp;','<':'&lt;','>':'&gt;','"':'&quot;'})[c]);
async function home() {
  const [st, list] = await Promise.all([api('/api/native/status'), api('/api/meetings')]);
  const rows = list.meetings.map(m =>
    `<li><a href="#/m/${encodeURIComponent(m.id)}">${esc(m.title)}</a> <span class="muted">${esc(m.created_at)}</span></li>`);
  view.innerHTML = `<p>${st.recording ? 'Recording now.' : st.browser_recording ? 'Recording in the browser.' : 'Not recording.'}</p>
    <p><button id="rec">${st.browser_recording ? 'Stop browser recording' : 'Record in the browser'}</button></p>
    <h2>Meetings</h2><ul>${rows.join('') || '<li class="muted">No meetings yet.</li>'}</ul>`;
  document.getElementById('rec').onclick = () =>
    api(st.browser_recording ? '/api/browser/stop' : '/api/browser/start', {}).then(route);
}
async function setup() {
  view.innerHTML = `<h2>Set up</h2><p>Quorvia records meetings on this computer and writes their minutes.</p>
    <button id="done">Finish setup</button>`;
  document.getElementById('done').onclick = () => api('/api/setup', {done: true}).then(() => location.hash = '');
}
async function settings() {
  const s = await api('/api/settings');
  view.innerHTML = `<h2>Settings</h2><label><input type="checkbox" id="auto" ${s.auto_minutes ? 'checked' : ''}>
    Write the minutes when a recording stops</label>`;
  document.getElementById('auto').onchange = e => api('/api/settings', {auto_minutes: e.target.checked});
}
async function meeting(id) {
  const m = await api('/api/meetings/' + encodeURIComponent(id));
  view.innerHTML = m.error ? esc(m.error) : `<h2>${esc(m.title)}</h2>
    <p class="muted">${m.recordings} recording(s), ${m.runs} minutes run(s).</p><p><a href="#">All meetings</a></p>`;
}
function route() {
  const h = decodeURIComponent(location.hash.slice(1));
  if (h === '/setup') return setup();
  if (h === '/settings') return settings();
  if (h.startsWith('/m/')) return meeting(h.slice(3));
  return home();
}
window.onhashchange = route; route();
</script></body></html>
"""
