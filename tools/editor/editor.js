// The editor page: the pane as the server describes it, the screens as it draws them. Every change
// goes to the server, which writes the file and answers with what the screens show now.
"use strict";

const token = new URLSearchParams(location.search).get("token") || "";
const $ = (id) => document.getElementById(id);
let pane = null;      // {panes: [...], folder}
let state = null;     // the server's last state
let stack = [];       // the pane files shown, the entry pane first

function url(path, params = {}) {
  return path + "?" + new URLSearchParams({ ...params, token }).toString();
}

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === "className") node.className = value;
    else if (name.startsWith("on")) node.addEventListener(name.slice(2), value);
    else if (name === "dataset") Object.assign(node.dataset, value);
    else node.setAttribute(name, value);
  }
  for (const child of children) node.append(child);
  return node;
}

function showStatus(text, isError = false) {
  $("status").textContent = text;
  $("status").className = isError ? "error" : "";
}

async function call(path, options = {}, params = {}) {
  const response = await fetch(url(path, params), options);
  let body = null;
  try { body = await response.json(); } catch (error) { body = { error: response.statusText }; }
  if (!response.ok) {
    const why = response.status === 413 ? "the upload is larger than the editor takes; nothing was written"
                                        : body.error || response.statusText;
    throw new Error(why);
  }
  return body;
}

function swatch(hex, alpha = 1) {
  const fill = element("span");
  fill.style.background = hex;
  fill.style.opacity = String(alpha);
  return element("span", { className: "swatch" }, fill);
}

// #RRGGBBAA, as the doctor writes colours, as a CSS colour and its alpha.
function splitHex(hex) {
  if (typeof hex !== "string" || hex.length !== 9) return ["#000000", 1];
  return [hex.slice(0, 7), parseInt(hex.slice(7), 16) / 255];
}

// --- the header and the doctor ---

function drawHeader() {
  $("root").textContent = "device root " + state.root;
  const doctor = state.doctor;
  const summary = $("summary");
  summary.replaceChildren();
  if (!doctor) {
    $("verdict").textContent = "doctor: no reading";
    $("verdict").className = "verdict bad";
    return;
  }
  const on = doctor.switch && doctor.switch.on;
  summary.append(element("span", { className: "item", id: "header-switch" }, "\u201ccustom1\u201d ",
                         element("span", { className: on ? "on" : "off" }, on ? "on" : "off")));
  for (const key of ["tabs", "background", "text2"]) {
    const color = (doctor.colors || {})[key] || {};
    const [hex, alpha] = splitHex(color.color);
    summary.append(element("span", { className: "item", dataset: { key } }, "\u201c" + key + "\u201d", swatch(hex, alpha),
                           (color.color || "?").replace(/FF$/, ""),
                           element("span", { className: "source" },
                                   color.source === "file" ? "from the file" : "fallback (key not usable)")));
  }
  const titles = { icon: "icons", text: "label text", status: "status bar" };
  for (const role of ["icon", "text", "status"]) {
    const palette = (doctor.palettes || {})[role] || {};
    const keys = palette.setKeys || [];
    const item = element("span", { className: "item" }, titles[role]);
    if (palette.setterColor) item.append(swatch(...splitHex(palette.setterColor)));
    item.append(element("span", { className: "source" }, keys.length ? keys.join("+") : "none set: the host's own"));
    summary.append(item);
  }
  const warnings = doctor.warnings || [];
  const verdict = $("verdict");
  verdict.textContent = doctor.exitStatus === 2 ? "doctor: the files cannot be used"
                        : warnings.length === 0 ? "doctor: no problems found"
                        : `doctor: ${warnings.length} warning${warnings.length === 1 ? "" : "s"}`;
  verdict.className = "verdict " + (doctor.exitStatus === 2 ? "bad" : warnings.length ? "warn" : "good");
  $("warnings").replaceChildren(...(warnings.length ? warnings : ["The doctor found no problems."])
    .map((text) => element("li", {}, String(text))));
}

// --- the pane ---

function paneNamed(file) { return pane.panes.find((p) => p.file === file); }

function set(id, value) {
  showStatus("writing\u2026");
  call("/api/set", { method: "POST", headers: { "Content-Type": "application/json" },
                     body: JSON.stringify({ id, value }) })
    .then(apply)
    .catch((error) => { showStatus(error.message, true); drawPane(); });
}

function switchCell(cell, shown) {
  const toggle = element("input", { type: "checkbox", className: "toggle", dataset: { id: cell.id },
                                    "aria-label": cell.label });
  toggle.checked = !!shown.value;
  toggle.addEventListener("change", () => set(cell.id, toggle.checked));
  return element("div", { className: "cell switch", title: `${cell.domain} \u00b7 ${cell.key}` },
                 element("span", { className: "label" }, cell.label), toggle);
}

function colorCell(cell, shown) {
  const hex = shown.value || "#000000";
  const picker = element("input", { type: "color", value: hex.toLowerCase(), "aria-label": cell.label });
  const text = element("input", { type: "text", className: "hex", value: hex, maxlength: "7", spellcheck: "false",
                                  "aria-label": cell.label + " (hex)" });
  const node = element("div", { className: "cell color", dataset: { id: cell.id }, title: `${cell.domain} \u00b7 ${cell.key}` },
                       element("span", { className: "label" }, cell.label));
  let alpha = null;
  const send = (value) => {
    const chosen = { hex: value.toUpperCase() };
    if (alpha) chosen.alpha = Number(alpha.value);
    set(cell.id, chosen);
  };
  picker.addEventListener("change", () => send(picker.value));
  text.addEventListener("change", () => {
    const value = text.value.trim().replace(/^([0-9a-fA-F]{6})$/, "#$1");
    if (!/^#[0-9a-fA-F]{6}$/.test(value)) { showStatus(`${cell.label}: "${text.value}" is not a colour #RRGGBB`, true); return; }
    send(value);
  });
  node.append(picker, text);
  if (cell.alpha) {
    alpha = element("input", { type: "range", min: "0", max: "1", step: "0.01", value: String(shown.alpha ?? 1),
                               "aria-label": cell.label + " (alpha)", title: "alpha" });
    alpha.addEventListener("change", () => send(text.value));
    node.append(alpha);
  }
  if (shown.source === "default") node.append(element("span", { className: "default" }, "default"));
  return node;
}

function drawPane() {
  const current = paneNamed(stack[stack.length - 1]);
  $("pane-title").textContent = current.title;
  $("back").hidden = stack.length === 1;
  const cells = $("cells");
  cells.replaceChildren();
  let group = null, box = null;
  const openGroup = (label, footer) => {
    group = element("div", { className: "group" });
    if (label) group.append(element("div", { className: "group-label" }, label));
    box = element("div", { className: "box" });
    group.append(box);
    if (footer) group.append(element("div", { className: "footer" }, footer));
    cells.append(group);
  };
  for (const cell of current.cells) {
    if (cell.kind === "group") { openGroup(cell.label, cell.footer); continue; }
    if (!box) openGroup(null, null);
    const shown = cell.id ? state.values[cell.id] || {} : {};
    if (cell.kind === "switch") box.append(switchCell(cell, shown));
    else if (cell.kind === "color") box.append(colorCell(cell, shown));
    else if (cell.kind === "link") {
      box.append(element("div", { className: "cell link", dataset: { target: cell.target }, role: "button",
                                  onclick: () => { stack.push(cell.target); drawPane(); } },
                         element("span", { className: "label" }, cell.label)));
    } else box.append(element("div", { className: "cell" }, element("span", { className: "label" }, cell.label)));
  }
}

// --- the screens ---

function regionAt(screen, x, y) {
  const regions = screen.regions || [];
  for (let i = regions.length - 1; i >= 0; --i) {  // the last drawn is on top
    const r = regions[i];
    if (x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height) return r;
  }
  return null;
}

function hover(event, index, side) {
  const image = event.currentTarget;
  const screen = state.screens[index];
  const bounds = image.getBoundingClientRect();
  const scale = screen.width / bounds.width;
  const x = (event.clientX - bounds.left) * scale, y = (event.clientY - bounds.top) * scale;
  const tip = $("tooltip"), outline = $("outline");
  const region = side === "with" ? regionAt(screen, x, y) : null;
  if (side === "with" && !region) { tip.hidden = outline.hidden = true; return; }
  tip.replaceChildren();
  if (region) {
    tip.append(element("div", {}, element("strong", {}, region.class), " \u2014 background ", region.color.replace(/FF$/, "")),
               element("div", {}, "set by ", element("strong", {}, region.painter)),
               element("div", {}, element("code", {}, region.path)));
    Object.assign(outline.style, { left: bounds.left + region.x / scale + "px", top: bounds.top + region.y / scale + "px",
                                   width: region.width / scale + "px", height: region.height / scale + "px" });
    outline.hidden = false;
  } else {
    tip.append("without the library: every colour is the host's own");
    outline.hidden = true;
  }
  Object.assign(tip.style, { left: event.clientX + 14 + "px", top: event.clientY + 14 + "px" });
  tip.hidden = false;
}

function leave() { $("tooltip").hidden = $("outline").hidden = true; }

function drawScreens() {
  const holder = $("screens");
  if (holder.children.length !== state.screens.length) {
    holder.replaceChildren(...state.screens.map((screen, index) => {
      const shot = (side, caption) => {
        const image = element("img", { alt: `${screen.name} ${caption}`, dataset: { screen: String(index), side } });
        image.addEventListener("mousemove", (event) => hover(event, index, side));
        image.addEventListener("mouseleave", leave);
        return element("div", { className: "shot" }, image, element("div", { className: "side" }, caption));
      };
      return element("figure", { dataset: { screen: screen.name } }, element("figcaption", {}, screen.name),
                     element("div", { className: "pair" }, shot("without", "without duskwell"),
                             shot("with", "with duskwell")));
    }));
  }
  state.screens.forEach((screen, index) => {
    for (const side of ["without", "with"]) {
      const image = holder.querySelector(`img[data-screen="${index}"][data-side="${side}"]`);
      if (image.dataset.version !== screen[side]) {
        image.dataset.version = screen[side];
        image.src = url(`/screens/${side}/${index}.png`, { v: screen[side] });
      }
    }
  });
}

// --- the state ---

function apply(next) {
  if (state && next.version < state.version) return;  // an older answer overtaken by a newer one
  // The pane is drawn anew only when a value changed: a field being typed into stays as it is.
  const valuesChanged = !state || JSON.stringify(state.values) !== JSON.stringify(next.values);
  state = next;
  drawHeader();
  if (valuesChanged) drawPane();
  drawScreens();
  document.body.dataset.version = String(state.version);
  showStatus(`${state.change} \u00b7 screens drawn in ${Math.round(state.drawing.milliseconds)} ms` +
             ` (${state.drawing.redrawnScreens} of ${state.screens.length} changed)`);
}

async function follow() {
  for (;;) {
    try {
      const event = await call("/api/events", {}, { after: state.version });
      if (event.version > state.version) apply(await call("/api/state"));
    } catch (error) {
      showStatus("lost the editor: " + error.message, true);
      await new Promise((resolve) => setTimeout(resolve, 1000));
    }
  }
}

// --- themes as files ---

function showUpload(found) {
  const list = $("upload-files");
  list.replaceChildren(...found.files.map((file) => element("div", { className: "cell" },
    element("span", { className: "label" }, element("strong", {}, file.devicePath.split("/").pop()), element("br"),
            Object.entries(file.values).map(([key, value]) => `${key} = ${value}`).join(", ") || "(no keys)"))));
  $("upload-preview").hidden = false;
  $("upload-confirm").onclick = () => {
    call("/api/upload/confirm", { method: "POST" }, { upload: found.upload })
      .then((next) => { $("upload-preview").hidden = true; $("upload-message").textContent = "written"; apply(next); })
      .catch((error) => { $("upload-message").textContent = error.message; });
  };
}

function setUpFiles() {
  $("download").href = url("/api/theme.tar");
  $("upload").addEventListener("change", async () => {
    const file = $("upload").files[0];
    if (!file) return;
    const message = $("upload-message");
    message.className = "footer";
    message.textContent = "reading " + file.name + "\u2026";
    $("upload-preview").hidden = true;
    try {
      const found = await call("/api/upload", { method: "POST", headers: { "Content-Type": "application/octet-stream" },
                                                body: await file.arrayBuffer() });
      message.textContent = file.name + ": nothing is written until you confirm.";
      showUpload(found);
    } catch (error) {
      message.className = "footer error";
      message.textContent = error.message;
    }
    $("upload").value = "";
  });
  $("upload-cancel").addEventListener("click", () => {
    call("/api/upload/cancel", { method: "POST" }).catch(() => {});
    $("upload-preview").hidden = true;
    $("upload-message").textContent = "nothing was written";
  });
}

async function start() {
  $("back").addEventListener("click", () => { stack.pop(); drawPane(); });
  setUpFiles();
  try {
    pane = await call("/api/pane");
    stack = [pane.panes.find((p) => p.entry !== undefined).file];
    apply(await call("/api/state"));
  } catch (error) {
    showStatus("cannot load the editor: " + error.message, true);
    return;
  }
  follow();
}

start();
