#ifndef KWN_DISSECTOR_LUARUNTIME_H
#define KWN_DISSECTOR_LUARUNTIME_H

// The fixed parts of the generated dissector: the fields and helpers before
// the catalogue's tables, and the decoding and the registration after them.
// The rules are those of codec/framedecoding.cpp, codec/readers.cpp, the
// single line of codec/reportwriters.cpp and the record checks of
// capture/capturefile.cpp; a change there is a change here.
// Numbers stay below 2^53 and no bit operator is used, so that Lua 5.2
// (Wireshark 3.6, 4.0) and 5.3/5.4 read the same code.

namespace dissector {

inline const char kLuaPrologue[] = R"LUA(
-- Installed for everyone (the package's, made from the sample catalogue), this
-- file gives way to one of its name in the user's own plugins folder (made by
-- kwn-frame dissector --install from the user's catalogue): two would clash.
do
    local folder, name = debug.getinfo(1, "S").source:match("^@(.*)[/\\]([^/\\]+)$")
    if name and folder == Dir.global_plugins_path() then
        local own = io.open(Dir.personal_plugins_path() .. package.config:sub(1, 1) .. name, "r")
        if own then
            own:close()
            return
        end
    end
end

local kwn = Proto("kwn", "KWN bus")

local pf = {
    direction = ProtoField.uint8("kwn.direction", "Direction", base.DEC, { [0] = "RX", [1] = "TX", [2] = "Noise" }),
    length = ProtoField.uint8("kwn.length", "Length", base.DEC),
    mode = ProtoField.string("kwn.mode", "Addressing"),
    ack = ProtoField.bool("kwn.ack", "Acknowledge requested"),
    node_type = ProtoField.uint8("kwn.node_type", "Node type", base.DEC),
    source = ProtoField.string("kwn.source", "Source"),
    destination = ProtoField.string("kwn.destination", "Destination"),
    msg_id = ProtoField.uint8("kwn.msg_id", "Message identifier", base.HEX),
    device = ProtoField.string("kwn.device", "Device"),
    message = ProtoField.string("kwn.message", "Message"),
    status = ProtoField.string("kwn.status", "Status"),
    checksum = ProtoField.uint16("kwn.checksum", "Checksum", base.HEX),
    checksum_ok = ProtoField.bool("kwn.checksum_ok", "Checksum ok"),
    parameter = ProtoField.string("kwn.parameter", "Parameter"),
    parameter_name = ProtoField.string("kwn.parameter_name", "Parameter name"),
    noise = ProtoField.bytes("kwn.noise", "Noise"),
    damaged = ProtoField.string("kwn.damaged", "Damaged record"),
}
local FIELDS = { pf.direction, pf.length, pf.mode, pf.ack, pf.node_type, pf.source, pf.destination, pf.msg_id,
                 pf.device, pf.message, pf.status, pf.checksum, pf.checksum_ok, pf.parameter, pf.parameter_name,
                 pf.noise, pf.damaged }

-- The catalogue: M[i] a message { name, parameters, slave }, each parameter
-- { kind (1 integer, 2 string, 3 bitfield, 0 other), size, signed, hexa,
-- optional, shown, name, { { unsigned, signed, description }, ... } } and
-- slave true for a slave message (a node's reply);
-- D[i] a device { name, messages by identifier }; PAIR[source node type * 16
-- + destination node type] the device that decodes such a frame. The bounds
-- of a frame's size, MIN_FRAME and MAX_FRAME, come first.
-- PF[i] the field kwn.p.<name> of parameters by name, PN[name] its i, and
-- PS[i] true when it holds text (a string's characters, or a number's
-- decimal digits where strings and numbers share the field), P64[i] true
-- when it is a 64-bit number (signed and unsigned numbers share it).
local M, D, PAIR, PF, PN, PS, P64 = {}, {}, {}, {}, {}, {}, {}
)LUA";

inline const char kLuaDecoder[] = R"LUA(
for _, field in ipairs(PF) do FIELDS[#FIELDS + 1] = field end
kwn.fields = FIELDS

local TWO32 = 4294967296
local POW2 = {}
do
    local p = 1
    for i = 0, 32 do POW2[i] = p; p = p * 2 end
end
local FILL = { [1] = 4294967040, [2] = 4294901760, [3] = 4278190080 } -- ~0 << 8 * size

local function floor(x) return math.floor(x) end

local function bit_set(value, position)
    return floor(value / POW2[position]) % 2 == 1
end

-- a | b for two bytes.
local function or_byte(a, b)
    local r = 0
    for i = 0, 7 do
        if bit_set(a, i) or bit_set(b, i) then r = r + POW2[i] end
    end
    return r
end

-- Bytes offset .. offset+size-1 of the data, least significant first; byte k
-- lands on bits 8*(k mod 4). Bytes past the data read as 0.
local function read_unsigned(data, offset, size)
    local present = 0
    if offset < data.n then present = math.min(size, data.n - offset) end
    local lanes = { [0] = 0, 0, 0, 0 }
    for k = 0, present - 1 do
        local lane = k % 4
        if k < 4 then lanes[lane] = data[offset + k] else lanes[lane] = or_byte(lanes[lane], data[offset + k]) end
    end
    return lanes[0] + lanes[1] * 256 + lanes[2] * 65536 + lanes[3] * 16777216
end

-- The signed value and its 32-bit pattern.
local function read_signed(data, offset, size)
    local pattern = read_unsigned(data, offset, size)
    if size >= 1 and size <= 3 then
        local last = offset + size - 1
        if last < data.n and data[last] >= 128 then pattern = pattern + FILL[size] end
    end
    if pattern >= 2147483648 then return pattern - TWO32, pattern end
    return pattern, pattern
end

local function hex_digits(pattern, size, pad)
    local width = 2 * math.min(size, 31)
    if width == 0 then return "" end
    local text = string.format("%X", pattern)
    if #text < width then text = string.rep(pad, width - #text) .. text end
    return text:sub(-width)
end

local function invalid_value(pattern, size)
    return "Invalid value (0x" .. hex_digits(pattern, size, "0") .. ")"
end

-- A Latin-1 character as shown: controls, DEL, C1 controls and the soft
-- hyphen as \xHH, the backslash doubled, the rest in UTF-8.
local function visible_char(c)
    if c < 32 or (c >= 127 and c < 160) or c == 173 then return string.format("\\x%02X", c) end
    if c == 92 then return "\\\\" end
    if c < 128 then return string.char(c) end
    return string.char(192 + floor(c / 64), 128 + c % 64)
end

local function read_string(data, offset, size)
    local present = 0
    if offset < data.n then present = math.min(size, data.n - offset) end
    -- Past the bytes present every character is 0: the padding, dropped
    -- with the 0 characters that end the bytes present.
    local length = present
    while length > 0 and data[offset + length - 1] == 0 do length = length - 1 end
    local parts = {}
    for k = 0, length - 1 do parts[#parts + 1] = visible_char(data[offset + k]) end
    return table.concat(parts)
end

-- A string's own characters, as kwn-frame decode --json gives them.
local function string_chars(data, offset, size)
    local present = 0
    if offset < data.n then present = math.min(size, data.n - offset) end
    local length = present
    while length > 0 and data[offset + length - 1] == 0 do length = length - 1 end
    local parts = {}
    for k = 0, length - 1 do
        local c = data[offset + k]
        parts[#parts + 1] = c < 128 and string.char(c) or string.char(192 + floor(c / 64), 128 + c % 64)
    end
    return table.concat(parts)
end

local function integer_text(p, data, offset)
    local size = p[2]
    local value, pattern
    if p[3] then value, pattern = read_signed(data, offset, size)
    else value = read_unsigned(data, offset, size); pattern = value end
    local values = p[8]
    if #values > 0 then
        for _, entry in ipairs(values) do
            if (p[3] and entry[2] == value) or (not p[3] and entry[1] == value) then return entry[3] end
        end
        return invalid_value(pattern, size)
    end
    if p[4] then
        if not p[3] then return string.format("%x", pattern) end
        if value >= 0 then return string.format("%X", pattern) end
        return hex_digits(pattern, size, "F")
    end
    return string.format("%d", value)
end

-- One row: { name, kind ("value", "bits", "label"), value, bits, offset, size }.
local function decode_parameter(p, data, offset)
    local row = { name = p[7], offset = offset, size = p[2] }
    if p[1] == 1 then
        row.kind = "value"; row.value = integer_text(p, data, offset)
        if p[3] then row.raw = read_signed(data, offset, p[2]) else row.raw = read_unsigned(data, offset, p[2]) end
    elseif p[1] == 2 then
        row.kind = "value"; row.value = read_string(data, offset, p[2]); row.chars = string_chars(data, offset, p[2])
    elseif p[1] == 3 then
        row.kind = "bits"; row.bits = {}
        local field = read_unsigned(data, offset, p[2])
        row.raw = field
        for _, entry in ipairs(p[8]) do
            row.bits[#row.bits + 1] = { label = "Bit " .. string.format("%d", entry[1]) .. ": " .. entry[3],
                                        checked = bit_set(field, entry[1] % 32) }
        end
    else
        row.kind = "label"
    end
    return row
end

local SUCCESS = "Frame decoded successfully."

local function decode_message(message, data, longer_status)
    if not message then
        return { name = "Unknown message", rows = {}, status = "Frame not decoded because message is unknown.",
                 error = true }
    end
    local decoding = { name = message[1], rows = {} }
    local offset = 0
    for _, p in ipairs(message[2]) do
        local known = p[1] ~= 0
        if offset >= data.n and (p[5] or not known) then
            -- an optional parameter left off the end; one of no known type has no bytes
        elseif offset >= data.n then
            decoding.status = "Frame is uncomplete."; decoding.error = true
            return decoding
        else
            if p[6] then decoding.rows[#decoding.rows + 1] = decode_parameter(p, data, offset) end
            if known then offset = offset + p[2] end
        end
    end
    decoding.status = longer_status or SUCCESS
    decoding.error = false
    return decoding
end

-- The row's kwn.p.<name>: its number ("raw" of decode --json) or a string's characters.
local function add_parameter_field(item, range, row)
    local i = PN[row.name]
    if not i or (row.raw == nil and row.chars == nil) then return end
    local value = row.chars or row.raw
    if PS[i] and row.raw ~= nil then value = string.format("%d", row.raw) end
    if P64[i] and row.raw ~= nil then value = Int64.new(row.raw) end
    if range then item:add(PF[i], range, value) else item:add(PF[i], value) end
end

-- "Name=value" as the single line of kwn-frame decode writes it; nil for a bare label.
local function parameter_text(row)
    if row.kind == "label" then return nil end
    if row.kind == "value" then return row.name .. "=" .. row.value end
    local on = {}
    for _, bit in ipairs(row.bits) do
        if bit.checked then on[#on + 1] = bit.label end
    end
    return row.name .. "=[" .. table.concat(on, "; ") .. "]"
end

local function node_id(address) return string.format("%06X", address) end

-- A frame's bytes as on the wire (0-based, .n of them), decoded as
-- kwn-frame decode decodes it.
local function decode_frame(wire)
    local n = wire.n
    local r = {}
    if n < MIN_FRAME then r.status = "Invalid frame length."; r.error = true; return r end
    r.parsed = true
    local function plain(i) return 255 - wire[i] end
    r.msg_id = plain(0)
    local control = plain(1)
    r.ack = control >= 128
    r.length = control % 32
    r.source_type = floor(plain(2) / 16)
    r.destination_type = plain(2) % 16
    r.source = plain(3) + plain(4) * 256 + plain(5) * 65536
    r.destination = plain(6) + plain(7) * 256 + plain(8) * 65536
    local sum = 0
    for i = 0, n - 3 do sum = sum + wire[i] end
    r.checksum = wire[n - 2] * 256 + wire[n - 1]
    r.checksum_ok = sum % 65536 == r.checksum
    local data = { n = n - 11 }
    for i = 0, n - 12 do data[i] = plain(9 + i) end
    local longer_status
    if n > r.length then
        longer_status = string.format("Frame is longer than expected (%d additional bytes).", n - r.length)
    end
    local device = D[PAIR[r.source_type * 16 + r.destination_type]]
    if not device then
        r.status = "No product found for the node type set in this frame."; r.error = true
        return r
    end
    r.device = device[1]
    local message = device[2][r.msg_id]
    r.message = decode_message(message, data, longer_status)
    -- What the frame is to the pairing of requests and replies.
    if message and r.checksum_ok then r.role = message[3] and "reply" or "request" end
    r.status = r.message.status
    r.error = r.message.error
    return r
end

local function mode_of(destination)
    if destination == 0 then return "GROUP" end
    if destination == 16777215 then return "BROADCAST" end
    return "P2P"
end

local function route_end(destination)
    if destination == 0 then return "Group" end
    if destination == 16777215 then return "Broadcast" end
    return node_id(destination)
end

local function add_frame(tvb, pinfo, root, wire)
    local n = wire.n
    local r = decode_frame(wire)
    local texts = {}
    if r.parsed then
        local plain = ByteArray.new()
        plain:set_size(n)
        for i = 0, n - 1 do plain:set_index(i, i < n - 2 and 255 - wire[i] or wire[i]) end
        local plain_tvb = plain:tvb("Bytes un-inverted")
        root:add(pf.msg_id, plain_tvb(0, 1))
        root:add(pf.ack, plain_tvb(1, 1), r.ack)
        root:add(pf.length, plain_tvb(1, 1), r.length)
        root:add(pf.node_type, plain_tvb(2, 1), r.source_type)
        root:add(pf.mode, plain_tvb(6, 3), mode_of(r.destination))
        root:add(pf.source, plain_tvb(3, 3), node_id(r.source))
        root:add(pf.destination, plain_tvb(6, 3), node_id(r.destination))
        pinfo.cols.src = node_id(r.source)
        pinfo.cols.dst = route_end(r.destination)
        if r.device then
            root:add(pf.device, r.device)
            root:add(pf.message, plain_tvb(0, 1), r.message.name)
            local list = root:add(plain_tvb(9, n - 11), "Parameters")
            for _, row in ipairs(r.message.rows) do
                local text = parameter_text(row)
                local length = math.min(row.size, n - 11 - row.offset)
                local range = length > 0 and plain_tvb(9 + row.offset, length) or nil
                if text then
                    texts[#texts + 1] = text
                    local item = range and list:add(pf.parameter, range, text) or list:add(pf.parameter, text)
                    for _, bit in ipairs(row.bits or {}) do
                        item:add((bit.checked and "[x] " or "[ ] ") .. bit.label)
                    end
                    add_parameter_field(item, range, row)
                else
                    list:add(row.name .. ":")
                end
                -- Every row shown, a bare label too, by its name: for filters.
                local named = list:add(pf.parameter_name, row.name)
                named:set_hidden(true)
            end
        end
        root:add(pf.checksum, tvb(n - 1, 2))
        root:add(pf.checksum_ok, tvb(n - 1, 2), r.checksum_ok)
    end
    root:add(pf.status, r.status)
    local values = table.concat(texts, ", ")
    if r.status ~= SUCCESS then values = values == "" and r.status or r.status .. " | " .. values end
    local info = values
    if r.device then info = r.device .. ", " .. r.message.name .. (values ~= "" and ": " .. values or "") end
    if r.parsed and not r.checksum_ok then info = info .. " [checksum wrong]" end
    pinfo.cols.info = info
    root:append_text(", " .. (r.device and (r.device .. ", " .. r.message.name) or r.status))
    return r
end

-- Why kwn-frame refuses a record of a capture, in the words of its capture
-- reader (capture/capturefile.cpp); nil for a sound record.
local function record_problem(tvb)
    local size, whole = tvb:len(), tvb:reported_len()
    if size < whole then return string.format("it is cut short to %d of its %d bytes", size, whole) end
    if size == 0 then return "it is empty, without even its direction byte" end
    local direction = tvb(0, 1):uint()
    if direction > 2 then
        return string.format("its direction byte is %d, not 0 (received), 1 (sent) or 2 (noise)", direction)
    end
    local n = size - 1
    if direction == 2 and n == 0 then return "it is a noise run of no bytes" end
    if direction ~= 2 and (n < MIN_FRAME or n > MAX_FRAME) then
        return string.format("a frame is %d to %d bytes; this is %d %s", MIN_FRAME, MAX_FRAME, n,
                             n == 1 and "byte" or "bytes")
    end
    return nil
end

function kwn.dissector(tvb, pinfo, tree)
    local size = tvb:len()
    pinfo.cols.protocol = "KWN"
    local problem = record_problem(tvb)
    if problem then
        -- kwn-frame reads no further: neither is it decoded here.
        local root = size > 0 and tree:add(kwn, tvb()) or tree:add(kwn)
        root:add(pf.damaged, problem)
        pinfo.cols.info = "Damaged record: " .. problem
        root:append_text(", damaged record")
        return size
    end
    local direction = tvb(0, 1):uint()
    local root = tree:add(kwn, tvb())
    root:add(pf.direction, tvb(0, 1))
    local n = size - 1
    if direction == 2 then
        root:add(pf.noise, tvb(1, n))
        pinfo.cols.info = "Noise, " .. n .. (n == 1 and " byte" or " bytes")
        root:append_text(", noise")
        pair_frame(pinfo, root, nil)
        return size
    end
    local wire = { n = n }
    if n > 0 then
        local bytes = tvb(1, n):bytes()
        for i = 0, n - 1 do wire[i] = bytes:get_index(i) end
    end
    pair_frame(pinfo, root, add_frame(tvb, pinfo, root, wire))
    return size
end

local encapsulation = (wtap_encaps and wtap_encaps.USER0) or wtap.USER0
DissectorTable.get("wtap_encap"):add(encapsulation, kwn)
)LUA";

} // namespace dissector

#endif
