-- copy, paste and tray: the desktop's clipboard (text, or a list of files when every
-- argument of 'copy' is an existing file) and the program's icon in the desktop's tray.
local commands = require("console.commands")
local files = require("console.local_files")
local text = require("console.text")

-- Both objects are fetched when first used: a console without a desktop never needs them.
local function clipboard() return GetObject("ClipBoardData.Manager") end
local function tray() return GetObject("Tray.Manager") end

local NO_DESKTOP = "no desktop session is available (DISPLAY is not set): copy and paste work inside a desktop"
  .. " session; run the program from a terminal of your desktop"

-- Windows always has its desktop; elsewhere the display names it.
local WINDOWS = files.windows
local function have_desktop()
  local display = os.getenv("DISPLAY")
  return WINDOWS or (display ~= nil and display ~= "")
end


local COPY_FILES = 2

commands.add("copy", "copy TEXT | copy FILE...  put text, or a list of files, on the clipboard", function(rest)
  if rest == "" then return commands.fail("usage: copy <text>  or  copy <file>...") end
  if not have_desktop() then return commands.fail("copy: " .. NO_DESKTOP) end
  local w = commands.words(rest)
  local all_files = #w > 0
  for _, word in ipairs(w) do
    if not files.exists(files.expand(word)) then all_files = false end
  end
  if all_files then
    local list = { type = COPY_FILES }
    for i, word in ipairs(w) do list[i] = files.absolute(word) end
    clipboard():SetHdropData(list)
    return print(string.format("copied %d file%s to the clipboard", #w, #w == 1 and "" or "s"))
  end
  local words = rest:match('^"(.*)"$') or rest
  clipboard():SetTxtData(words)
  print(string.format("copied %d bytes of text to the clipboard", #words))
end)

commands.add("paste", "paste                     show what the clipboard holds (text or files)", function()
  if not have_desktop() then return commands.fail("paste: " .. NO_DESKTOP) end
  local listed = clipboard():GetHdropData() or {}
  if #listed > 0 then
    print(string.format("clipboard: %d file%s", #listed, #listed == 1 and "" or "s"))
    for _, path in ipairs(listed) do print("  " .. text.clean(path)) end
    return
  end
  local held = clipboard():GetTxtData() or ""
  if held ~= "" then return print("clipboard: " .. text.clean(held)) end
  local formats = clipboard():GetFormats() or {}
  if #formats == 0 then return print("the clipboard is empty") end
  local shown = {}
  for i = 1, math.min(#formats, 5) do shown[i] = text.clean(formats[i]) end
  commands.fail(string.format("the clipboard holds %s%s: paste shows only text and files", table.concat(shown, ", "),
    #formats > 5 and string.format(" and %d more formats", #formats - 5) or ""))
end)

local shown = false

commands.add("tray", "tray on|off               show or hide the program's icon in the tray", function(rest)
  local word = rest:match("^%s*(%S+)%s*$")
  if word == "on" then
    if not shown then
      if not tray():CreateNotifyTray() then
        return commands.fail(WINDOWS and "tray: no icon: the desktop's notification area did not take it"
          or "tray: no icon: there is no desktop session bus to show it on (run the program inside a desktop session)")
      end
      tray():ModifyTrayTips("Mobrevist")
      shown = true
    end
    print("tray icon on (it shows when your desktop has a tray)")
  elseif word == "off" then
    if shown then
      tray():DeleteNotifyTray()
      shown = false
    end
    print("tray icon off")
  else
    commands.fail("usage: tray on|off")
  end
end)
