-- Start-up helper "KeyHelper": nothing to prepare on this platform yet.
function RegisterObject()
end
