-- The phone's lists as the window pages through them. Each list is read from the agent
-- once (again when a page asks to refresh it), kept as small rows, and served a page at
-- a time: filtered by a search text (and by thread or folder), in the order the page
-- asks. A page never holds a whole list, so a phone with 100,000 messages costs the page
-- only what is on its screen.
local agent = require("console.agent")

local M = {}

local app_help = GetObject("AppHelp.Object")
local shell = GetObject("Win32Shell.Object")

local function base_name(path)
  return path:match("([^/]+)/*$") or path
end

local function str(v) return v == nil and "" or tostring(v) end

-- The letter a name is filed under: its first Latin letter, the pinyin initial of a
-- leading Chinese character, or "#".
local function initial(name)
  local first = name:match("^%s*([%z\1-\127\194-\244][\128-\191]*)") or ""
  if #first > 1 then first = tostring(app_help:ConvertChinese(first) or "") end
  first = first:sub(1, 1):upper()
  return first:match("%u") and first or "#"
end

-- How each list is read and what a row of it holds. search: the fields a search text is
-- looked for in.
local SOURCES = {
  sms = { kind = Macro.MSG_SMS_LIST, args = { 0 }, search = { "number", "text" },
    row = function(r)
      return { id = tonumber(r.ID) or 0, thread = tonumber(r.ThreadID) or 0, number = str(r.Number),
        date = tonumber(r.Date) or 0, sent = tonumber(r.Type) == 2, read = tonumber(r.Read) ~= 0, text = str(r.Content) }
    end },
  contacts = { kind = Macro.MSG_CONTACT_LIST, search = { "name", "number" },
    row = function(r)
      local name = str(r.Name)
      return { id = str(r.ID), name = name, number = str(r.Number), initial = initial(name) }
    end },
  apps = { kind = Macro.MSG_APP_LIST, search = { "name", "package" },
    row = function(r)
      return { name = str(r.Name), package = str(r.packName), version = str(r.ver), size = tonumber(r.Size) or 0,
        installed = tonumber(r.time) or 0, card = tonumber(r.Location) == 1 }
    end },
  music = { kind = Macro.MSG_MUSIC_LIST, search = { "name", "singer", "album" },
    row = function(r)
      local path = str(r.Path)
      return { id = tonumber(r.ID) or 0, name = base_name(path), path = path, singer = str(r.Singer),
        album = str(r.Zhuanji), seconds = tonumber(r.Timer) or 0, size = tonumber(r.Size) or 0,
        ring = tonumber(r.IsRing) == 1 }
    end },
  photos = { kind = Macro.MSG_PICTURE_LIST, search = { "path" },
    row = function(r)
      local path = str(r.FilePath)
      return { id = tonumber(r.ID) or 0, name = base_name(path), path = path, size = tonumber(r.Size) or 0,
        date = tonumber(r.Timer) or 0 }
    end },
  videos = { kind = Macro.MSG_VIDEO_LIST, search = { "path" },
    row = function(r)
      local path = str(r.FilePath)
      return { id = tonumber(r.ID) or 0, name = base_name(path), path = path, size = tonumber(r.Size) or 0 }
    end },
  documents = { kind = Macro.MSG_DOCUMENT_LIST, search = { "path" },
    row = function(r)
      local path = str(r.FilePath)
      return { name = base_name(path), path = path, size = tonumber(r.Size) or 0 }
    end },
  folders = { kind = Macro.MSG_FOLDER_LIST, search = { "path" },
    row = function(r) return { path = (str(r.FilePath):gsub("/+$", "")) } end },
}
M.SOURCES = SOURCES

-- name -> { state = "loading"|"ready"|"failed", rows, version, text, views }
local lists = {}
local listeners = {}
local NOTE_MS = 250  -- while a list loads, its growing count is told at most this often

-- fn(name, list) after a list's state or rows changed.
function M.on_change(fn) listeners[#listeners + 1] = fn end

local function changed(name, l)
  l.version = l.version + 1
  -- Threads name their contacts and folders show the file lists: every view goes.
  for _, other in pairs(lists) do other.views = {} end
  for _, fn in ipairs(listeners) do fn(name, l) end
end

function M.get(name) return lists[name] end

-- Reads a list from the phone (again when refresh is true, or after a failure). A list
-- being read is not asked for twice.
function M.load(name, refresh)
  local source = SOURCES[name]
  if not source then return nil end
  local old = lists[name]
  if old and (old.state == "loading" or old.reading or (old.state == "ready" and not refresh)) then return old end
  -- A list read for the first time is shown as it grows; one read again keeps its rows
  -- on show until the new ones are all there.
  local l = { state = "loading", rows = {}, version = old and old.version or 0, views = {} }
  local shown = old and old.state == "ready" and old or l
  shown.reading = l
  lists[name] = shown
  local last = shell:GetTickCount()
  if shown == l then changed(name, l) end
  local function current() return lists[name] == shown and shown.reading == l end
  agent.list(source.kind, source.args and { unpack(source.args) } or {}, function(r)
    if not current() then return end
    l.rows[#l.rows + 1] = source.row(r)
    local now = shell:GetTickCount()
    if shown == l and (now - last >= NOTE_MS or #l.rows == 40) then
      last = now
      changed(name, l)
    end
  end, function()
    if not current() then return end
    l.state, l.reading, l.version = "ready", nil, shown.version
    lists[name] = l
    changed(name, l)
    -- The frames' records are garbage now: a long list leaves tens of megabytes of it.
    collectgarbage()
  end, function(line)
    if not current() then return end
    l.state, l.text, l.reading, l.version = "failed", line, nil, shown.version
    lists[name] = l
    changed(name, l)
  end, true)
  return shown
end

-- Forgets every list (the phone went, or another came): each is told as state "none",
-- and read again when a page asks.
function M.forget()
  for name, l in pairs(lists) do
    lists[name] = nil
    local gone = { state = "none", rows = {}, version = l.version + 1, views = {} }
    for _, fn in ipairs(listeners) do fn(name, gone) end
  end
end

-- Drops the rows for which match(row) is true (a change the phone confirmed); true when
-- any was dropped.
function M.remove(name, match)
  local l = lists[name]
  if not l then return false end
  local kept = {}
  for _, r in ipairs(l.rows) do
    if not match(r) then kept[#kept + 1] = r end
  end
  if #kept == #l.rows then return false end
  l.rows = kept
  changed(name, l)
  return true
end

-- Adds a row the phone confirmed, or changes rows in place through fn(row) for those that
-- match.
function M.add(name, row)
  local l = lists[name]
  if not l then return end
  l.rows[#l.rows + 1] = row
  changed(name, l)
end

function M.update(name, match, fn)
  local l = lists[name]
  if not l then return end
  for _, r in ipairs(l.rows) do
    if match(r) then fn(r) end
  end
  changed(name, l)
end

-- Views ----------------------------------------------------------------------------------

local function matches(row, fields, query)
  for _, f in ipairs(fields) do
    local v = row[f]
    if v and v:lower():find(query, 1, true) then return true end
  end
  return false
end

local function sorter(key, descending)
  return function(a, b)
    local x, y = a[key], b[key]
    if type(x) == "boolean" then x, y = x and 1 or 0, y and 1 or 0 end
    if x == y then return tostring(a.name or a.path or a.id) < tostring(b.name or b.path or b.id) end
    if x == nil then return false end
    if y == nil then return true end
    if descending then return x > y end
    return x < y
  end
end

-- The conversations: one row per thread with its newest message, the number of messages and
-- of unread ones, and the contact's name where the address book (when read) knows the number.
local function threads(rows)
  local names = {}
  local contacts = lists.contacts
  if contacts then
    for _, c in ipairs(contacts.rows) do names[(c.number:gsub("[^%d+]", ""))] = c.name end
  end
  local by_thread, out = {}, {}
  for _, m in ipairs(rows) do
    local t = by_thread[m.thread]
    if not t then
      t = { thread = m.thread, number = m.number, count = 0, unread = 0, date = -1 }
      by_thread[m.thread] = t
      out[#out + 1] = t
    end
    t.count = t.count + 1
    if not m.read and not m.sent then t.unread = t.unread + 1 end
    if m.date > t.date then t.date, t.text, t.sent = m.date, m.text, m.sent end
  end
  for _, t in ipairs(out) do t.name = names[(t.number:gsub("[^%d+]", ""))] end
  return out
end

-- The entries of one phone folder: its sub-folders (named by the folder list or by the
-- paths of the files under it) first, then its files.
local function folder_entries(folder)
  local prefix = (folder:gsub("/+$", "")) .. "/"
  local seen, out = {}, {}
  local function add_folder(rest)
    local name = rest:match("^([^/]+)/")
    if name and not seen[name] then
      seen[name] = true
      out[#out + 1] = { name = name, path = prefix .. name, folder = true, size = 0 }
    end
  end
  local folders = lists.folders
  for _, f in ipairs(folders and folders.rows or {}) do
    if f.path:sub(1, #prefix) == prefix then add_folder(f.path:sub(#prefix + 1) .. "/") end
  end
  for _, name in ipairs({ "documents", "music", "photos", "videos" }) do
    local l = lists[name]
    for _, f in ipairs(l and l.rows or {}) do
      if f.path:sub(1, #prefix) == prefix then
        local rest = f.path:sub(#prefix + 1)
        if rest:find("/", 1, true) then
          add_folder(rest)
        elseif not seen[f.path] then
          seen[f.path] = true
          out[#out + 1] = { name = rest, path = f.path, folder = false, size = f.size, date = f.date }
        end
      end
    end
  end
  return out
end

local SORT_KEYS = { name = true, number = true, date = true, size = true, installed = true, singer = true,
  seconds = true, thread = true, id = true }

-- The rows a page shows, as { rows = ..., total = ..., state = ..., version = ... }: the
-- count rows from offset (0-based) of the list filtered and sorted by opts (query, thread,
-- initial, folder, sort, desc). The filtered order is kept until the list changes, so that paging
-- through it costs only the slice.
function M.page(name, opts, offset, count)
  local base = name
  if name == "threads" then base = "sms" end
  if name == "files" then base = "folders" end
  local l = lists[base]
  if not l then return { rows = {}, total = 0, state = "none", version = 0 } end
  local query = type(opts.query) == "string" and opts.query:lower() or ""
  local key = table.concat({ name, query, tostring(opts.thread), tostring(opts.folder), tostring(opts.sort),
    tostring(opts.desc), tostring(opts.initial) }, "\1")
  local view = l.views[key]
  if not view then
    local rows
    if name == "threads" then
      rows = threads(l.rows)
    elseif name == "files" then
      rows = folder_entries(type(opts.folder) == "string" and opts.folder or "/sdcard")
    else
      rows = l.rows
    end
    local thread = tonumber(opts.thread)
    local letter = type(opts.initial) == "string" and opts.initial ~= "" and opts.initial or nil
    local fields = (SOURCES[name] or {}).search or { "name", "number", "text", "path" }
    view = {}
    for _, r in ipairs(rows) do
      if (not thread or r.thread == thread) and (not letter or r.initial == letter)
          and (query == "" or matches(r, fields, query)) then
        view[#view + 1] = r
      end
    end
    local sort = SORT_KEYS[opts.sort] and opts.sort or nil
    if name == "threads" and not sort then sort, opts.desc = "date", true end
    if name == "files" then
      table.sort(view, function(a, b)
        if a.folder ~= b.folder then return a.folder end
        return sorter(sort or "name", opts.desc == true)(a, b)
      end)
    elseif sort then
      table.sort(view, sorter(sort, opts.desc == true))
    end
    l.views[key] = view
  end
  offset = math.max(0, math.floor(tonumber(offset) or 0))
  count = math.max(0, math.min(500, math.floor(tonumber(count) or 50)))
  local out = {}
  for i = offset + 1, math.min(#view, offset + count) do out[#out + 1] = view[i] end
  return { rows = out, total = #view, state = l.state, version = l.version, text = l.text }
end

-- Lists that depend on another: a page of threads needs the messages, a folder needs the
-- file lists.
M.NEEDS = { threads = { "sms", "contacts" }, sms = { "sms" }, files = { "folders", "documents", "music", "photos",
  "videos" } }

return M
