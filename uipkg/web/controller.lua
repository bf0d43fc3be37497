-- The web window's controller: page messages become the calls the console's commands
-- make, and changes of the shared model become messages to the pages. One format both
-- ways, JSON objects with "v" (the format's version) and "type"; README describes it.
local commands = require("console.commands")
local model = require("model.store")
local text = require("console.text")
local transfer = require("console.transfer")

local M = {}
M.VERSION = 1

local web = GetObject("WebUI.Manager")
local shell = GetObject("Win32Shell.Object")

local pages = {}    -- client -> true once it said hello
local uploads = {}  -- upload id -> { path, name, client }
local sent_at = {}  -- transfer id -> tick of the last progress message
M.PROGRESS_MS = 100 -- at most one progress message per transfer in this time

local function send(client, message)
  message.v = M.VERSION
  local encoded, why = web:Encode(message)
  if not encoded then return io.stderr:write("web: " .. tostring(why) .. "\n") end
  web:Send(client, encoded)
end

local function broadcast(message)
  if next(pages) then send(0, message) end
end

local function fail(client, line)
  send(client, { type = "error", text = line })
end

-- What a page may ask for.
local handlers = {}

function handlers.hello(client)
  pages[client] = true
  send(client, { type = "hello", client = client, upload = web:UploadUrl(client), phone = model.phone,
    steps = model.steps, transfers = model.transfer_list(), notices = model.notices })
end

-- { upload = id, folder = phone folder }: pushes a file the page uploaded.
function handlers.push(client, m)
  local u = uploads[tonumber(m.upload) or -1]
  if not u or u.client ~= client then return fail(client, "push: no such upload") end
  -- The page's texts end up in console lines and on the phone: no control characters.
  local folder = text.clean(type(m.folder) == "string" and m.folder or "")
  local problem = transfer.phone_path_problem(folder)
  if problem then return fail(client, "push: " .. problem) end
  uploads[tonumber(m.upload)] = nil
  local target = (folder:gsub("/+$", "")) .. "/" .. text.clean(u.name)
  print("web: push " .. text.clean(u.name) .. " to " .. target)
  transfer.push({ { u.path, target } }, function() os.remove(u.path) end)
end

function handlers.cancel()
  commands.cancel_all()
end

-- The function given to WebUI.Manager:Start.
function M.on_message(client, message, source)
  if message == nil then
    pages[client] = nil
    return
  end
  local m = web:Decode(message)
  if type(m) ~= "table" then return end
  if source == "upload" then
    -- The server's own notice of a finished upload (a page cannot send one).
    uploads[m.upload] = { path = m.path, name = m.name, client = client }
    return
  end
  local handler = type(m.type) == "string" and handlers[m.type]
  if not handler then return fail(client, "unknown message type " .. tostring(m.type)) end
  if m.v ~= nil and m.v ~= M.VERSION then return fail(client, "message version " .. tostring(m.v) .. " is not " .. M.VERSION) end
  handler(client, m)
end

model.observe(function(kind, value)
  if kind == "transfer" then
    -- Progress is sent at most every PROGRESS_MS per transfer; the first and last always.
    local now = shell:GetTickCount()
    if value.state == "running" and sent_at[value.id] and now - sent_at[value.id] < M.PROGRESS_MS then return end
    sent_at[value.id] = value.state == "running" and now or nil
    return broadcast({ type = "transfer", transfer = value })
  end
  if kind == "phone" then return broadcast({ type = "phone", phone = value }) end
  if kind == "steps" then return broadcast({ type = "steps", steps = value }) end
  if kind == "notice" then return broadcast({ type = "notice", notice = value }) end
end)

-- Starts serving; prints the opening link and, unless told not to, opens it in the
-- desktop's browser. Returns the link, or nil.
function M.start(open_browser)
  local url, why = web:Start(M.on_message)
  if not url then
    print(text.clean("web UI: not started: " .. tostring(why)))
    return nil
  end
  print("web UI: " .. url)
  if open_browser and not web:OpenBrowser(url) then
    print("web UI: no desktop browser to open it in; open the link above yourself")
  end
  return url
end

return M
