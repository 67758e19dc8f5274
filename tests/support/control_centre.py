#!/usr/bin/env python3
"""control_centre.py DOCUMENT NAME: prints "X Y", the centre of the control NAME in window pixels,
laid out from the skin DOCUMENT as the engine lays it out (see e2e_control_centre in
tests/e2e/e2e_lib.sh). Fails when the document has no such control."""
import sys
import xml.etree.ElementTree as ET

document, wanted = sys.argv[1], sys.argv[2]
window = ET.parse(document).getroot()
not_controls = {"Include", "Default", "Font", "Image"}
containers = {"Container", "VerticalLayout", "HorizontalLayout", "TabLayout"}


def numbers(element, name, count):
    values = [int(v) for v in element.get(name, "").split(",") if v.strip()]
    return (values + [0] * count)[:count]


def children(element):
    return [c for c in element if c.tag not in not_controls and c.get("visible") != "false"]


def place(element, rect, found):
    if element.get("name") == wanted:
        found.append(rect)
    if element.tag not in containers:
        return
    left, top, right, bottom = rect
    inset = numbers(element, "inset", 4)
    inner = (left + inset[0], top + inset[1], right - inset[2], bottom - inset[3])
    flow = []
    for child in children(element):
        if child.get("float") == "true":
            pos = numbers(child, "pos", 4)
            place(child, (left + pos[0], top + pos[1], left + pos[2], top + pos[3]), found)
        else:
            flow.append(child)
    if element.tag in ("VerticalLayout", "HorizontalLayout"):
        line(flow, inner, int(element.get("childpadding", "0")), element.tag == "VerticalLayout", found)
        return
    for child in flow:
        pad = numbers(child, "padding", 4)
        width = int(child.get("width", "0")) or inner[2] - inner[0] - pad[0] - pad[2]
        height = int(child.get("height", "0")) or inner[3] - inner[1] - pad[1] - pad[3]
        x, y = inner[0] + pad[0], inner[1] + pad[1]
        place(child, (x, y, x + max(0, width), y + max(0, height)), found)


def line(items, inner, child_padding, vertical, found):
    main, cross = ("height", "width") if vertical else ("width", "height")
    before, after, cross_before, cross_after = (1, 3, 0, 2) if vertical else (0, 2, 1, 3)
    main_length = inner[3] - inner[1] if vertical else inner[2] - inner[0]
    cross_length = inner[2] - inner[0] if vertical else inner[3] - inner[1]
    used, flexible = 0, 0
    for i, item in enumerate(items):
        pad = numbers(item, "padding", 4)
        used += pad[before] + pad[after] + (child_padding if i else 0)
        size = int(item.get(main, "0"))
        used += size
        flexible += 0 if size else 1
    left = max(0, main_length - used)
    share = left // flexible if flexible else 0
    rest = left - share * flexible
    cursor = inner[1] if vertical else inner[0]
    for i, item in enumerate(items):
        pad = numbers(item, "padding", 4)
        cursor += pad[before] + (child_padding if i else 0)
        length = int(item.get(main, "0"))
        if not length:
            flexible -= 1
            length = share + (rest if flexible == 0 else 0)
        across = int(item.get(cross, "0")) or max(0, cross_length - pad[cross_before] - pad[cross_after])
        start = (inner[0] if vertical else inner[1]) + pad[cross_before]
        if vertical:
            place(item, (start, cursor, start + across, cursor + length), found)
        else:
            place(item, (cursor, start, cursor + length, start + across), found)
        cursor += length + pad[after]


width, height = numbers(window, "size", 2)
found = []
for root in children(window)[:1]:
    place(root, (0, 0, width, height), found)
if not found:
    sys.exit(f"no control named {wanted} in {document}")
left, top, right, bottom = found[0]
print((left + right) // 2, (top + bottom) // 2)
