-- Words that Tab completes on a terminal: command names for the first word, phone paths
-- the console has listed for the others (modules feed them with add_phone_path). Local
-- file names come from the host itself when nothing here matches.
local M = {}

local phone_paths, path_count = {}, 0
local MAX_PATHS = 5000  -- a phone with huge folders does not grow this without end
local command_names = function() return {} end

function M.set_command_source(fn) command_names = fn end

-- Other words commands take (backup names, package names, download ids).
local other_words, word_count = {}, 0

function M.add_word(word)
  if type(word) ~= "string" or word == "" or other_words[word] or word_count >= MAX_PATHS then return end
  other_words[word] = true
  word_count = word_count + 1
end

function M.add_phone_path(path)
  if type(path) ~= "string" or path == "" or phone_paths[path] then return end
  if path_count >= MAX_PATHS then return end
  phone_paths[path] = true
  path_count = path_count + 1
end

-- The words offered for word, the one being typed at the end of line.
function M.words(line, word)
  local before = line:sub(1, #line - #word)
  local out = {}
  if not before:find("%S") then
    for _, name in ipairs(command_names()) do out[#out + 1] = name end
  else
    for path in pairs(phone_paths) do
      if path:sub(1, #word) == word then out[#out + 1] = path end
    end
    for other in pairs(other_words) do
      if other:sub(1, #word) == word then out[#out + 1] = other end
    end
  end
  table.sort(out)
  return out
end

if SetConsoleCompleter then SetConsoleCompleter(M.words) end

return M
