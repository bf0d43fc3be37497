-- Start-up helper "CreateFileAssociation": nothing to prepare on this platform yet.
function RegisterObject()
end
