#!/usr/bin/env python3
"""Draws the images of ui/img with ImageMagick 6 (apt-get install imagemagick fonts-droid-fallback
fonts-dejavu-core).

One flat style for every picture: the brand blue, white glyphs, soft grey for inactive parts, red for
errors and faults, yellow as the accent. Every picture is drawn on a 256-unit design canvas (the banner
on a canvas of twice its size) and scaled down, so thin strokes stay smooth at 16 pixels.
Every image is drawn twice: at its size and, as "name@2x.ext", at twice its size, which Qt takes on
screens scaled to 150 % and more. Run from anywhere; the images are committed, so the build never needs
this script.
"""
import math
import os
import struct
import subprocess
import tempfile

BLUE = "#00A8FF"
GREY = "#B8C4CE"
RED = "#FF5A5F"
YELLOW = "#FFD23F"
GREEN = "#36C67D"       # the "ready" green of the document rows
PAY_BLUE = "#2F6FE4"    # a second blue, so the two blue payment choices do not look alike
SLATE = "#7A8896"       # small glyphs on white that the soft grey would leave too faint
BORDER = "#DCDCDC"      # the border grey of the forms' frames and unchosen buttons
# Device pictures: light casing, darker panels and slots.
CASE = "#E3E9EE"
PANEL = "#C4CED7"
EDGE = "#A3B0BC"
SLOT = "#5F6E7B"
CJK_FONT = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"
LATIN_BOLD_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ui", "img")
CANVAS = 256
SCALE = 1  # 2 while the @2x twins are drawn


def convert(*args):
    subprocess.run(["/usr/bin/convert", *args], check=True)


def out(name):
    if SCALE != 1:
        stem, ext = os.path.splitext(name)
        name = f"{stem}@{SCALE}x{ext}"
    path = os.path.join(OUT, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


# Small PNGs, and the same bytes on every run: 8 bits per channel, no time stamps or other chunks.
PNG_OPTIONS = ["-depth", "8", "-strip", "-define", "png:exclude-chunks=date,time"]


# ---------------------------------------------------------------- drawing primitives (256-unit canvas)

def fill(color, *primitives):
    return ["-stroke", "none", "-fill", color, *[a for p in primitives for a in ("-draw", p)]]


def rect(x0, y0, x1, y1, radius=0):
    return f"roundrectangle {x0},{y0} {x1},{y1} {radius},{radius}" if radius else f"rectangle {x0},{y0} {x1},{y1}"


def circle(cx, cy, radius):
    return f"circle {cx},{cy} {cx},{cy + radius}"


def polygon(points):
    return "polygon " + " ".join(f"{x:.1f},{y:.1f}" for x, y in points)


def lines(color, width, *paths):
    """Open or closed strokes with round caps and joints. Each path is drawn as separate short lines
    inside one draw string: ImageMagick 6 closes long polylines and arcs with a chord."""
    mvg = ["stroke-linecap round stroke-linejoin round"]
    for points in paths:
        for (x1, y1), (x2, y2) in zip(points, points[1:]):
            mvg.append(f"line {x1:.1f},{y1:.1f} {x2:.1f},{y2:.1f}")
    return ["-fill", "none", "-stroke", color, "-strokewidth", str(width), "-draw", " ".join(mvg),
            "-stroke", "none"]


def arc_points(cx, cy, radius, start, end, steps=32):
    """Points of a circular arc, angles in degrees clockwise from the right."""
    return [(cx + radius * math.cos(math.radians(start + (end - start) * i / steps)),
             cy + radius * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]


def rotated(points, degrees, cx=128, cy=128):
    """Points given relative to (cx, cy), turned clockwise by the angle and moved there."""
    a = math.radians(degrees)
    return [(cx + x * math.cos(a) - y * math.sin(a), cy + x * math.sin(a) + y * math.cos(a)) for x, y in points]


def closed(points):
    return list(points) + [points[0]]


# ---------------------------------------------------------------- backgrounds shared by the icon families

def tile(color):
    """The rounded square of the application icon."""
    return fill(color, rect(8, 8, 247, 247, 56))


def disc(color):
    """The round badge of the information icon."""
    return fill(color, circle(128, 128, 116))


# ---------------------------------------------------------------- glyphs (white unless told)

def printer_glyph(paper="white", ink=BLUE, text_lines=True):
    """Draw commands of the printer glyph on a 256 × 256 canvas; the printed page shows two text lines
    unless something else is drawn on it."""
    commands = [
        "-fill", paper, "-draw", "roundrectangle 80,44 176,110 6,6",
        "-fill", paper, "-draw", "roundrectangle 36,96 220,186 22,22",
        "-fill", ink, "-draw", "roundrectangle 64,150 192,166 6,6",
        "-fill", YELLOW, "-draw", "circle 190,124 190,132",
        "-fill", paper, "-stroke", ink, "-strokewidth", "6", "-draw", "roundrectangle 76,158 180,222 6,6",
    ]
    if text_lines:
        commands += ["-draw", "line 96,182 160,182", "-draw", "line 96,202 140,202"]
    return commands + ["-stroke", "none"]


def check_glyph(color="white", width=30):
    return lines(color, width, [(78, 130), (112, 164), (178, 96)])


def plus_glyph(color="white", width=28, half=58):
    return lines(color, width, [(128 - half, 128), (128 + half, 128)], [(128, 128 - half), (128, 128 + half)])


def minus_glyph(color="white", width=28, half=58):
    return lines(color, width, [(128 - half, 128), (128 + half, 128)])


def gear_glyph(color, hole):
    tooth = [(-15, -60), (15, -60), (11, -88), (-11, -88)]
    teeth = [polygon(rotated(tooth, k * 45)) for k in range(8)]
    return fill(color, *teeth, circle(128, 128, 64)) + fill(hole, circle(128, 128, 26))


def power_glyph(color="white"):
    return lines(color, 22, arc_points(128, 136, 60, -55, 235), [(128, 58), (128, 122)])


def headset_glyph(color="white"):
    return (lines(color, 18, arc_points(128, 138, 68, 180, 360))
            + fill(color, rect(48, 124, 84, 184, 14), rect(172, 124, 208, 184, 14))
            + lines(color, 12, arc_points(128, 150, 62, 20, 78, 12))
            + fill(color, rect(116, 200, 156, 222, 11)))


def cloud_glyph(color, cx=128, cy=132, scale=1.0):
    def s(v):
        return v * scale
    return fill(color, circle(cx - s(44), cy + s(6), s(38)), circle(cx + s(4), cy - s(18), s(52)),
                circle(cx + s(52), cy + s(12), s(34)),
                rect(cx - s(82), cy + s(2), cx + s(86), cy + s(46), s(22)))


def house_glyph(color, door, cx=128, cy=128, scale=1.0):
    def s(v):
        return v * scale
    roof = [(cx - s(60), cy - s(4)), (cx, cy - s(58)), (cx + s(60), cy - s(4))]
    return (lines(color, s(18), roof)
            + fill(color, rect(cx - s(40), cy - s(14), cx + s(40), cy + s(50), s(6)))
            + fill(door, rect(cx - s(13), cy + s(14), cx + s(13), cy + s(50), s(4))))


def clock_glyph(color="white"):
    return (lines(color, 20, closed(arc_points(128, 128, 80, 0, 360, 48)))
            + lines(color, 20, [(128, 78), (128, 130), (166, 152)]))


def refresh_glyph(color):
    """An open ring whose top end carries a wide arrowhead, wide enough to read at 16 pixels."""
    cx, cy, radius, start, end = 128, 138, 64, -340, -84
    base, tip = math.radians(end), math.radians(end + 50)
    bx, by = cx + radius * math.cos(base), cy + radius * math.sin(base)
    ux, uy = math.cos(base), math.sin(base)
    head = [(bx - 44 * ux, by - 44 * uy), (bx + 44 * ux, by + 44 * uy),
            (cx + radius * math.cos(tip), cy + radius * math.sin(tip))]
    return lines(color, 30, arc_points(cx, cy, radius, start, end)) + fill(color, polygon(head))


def chevron_glyph(color):
    return lines(color, 30, [(64, 100), (128, 164), (192, 100)])


def pencil_glyph(color):
    body = [(-44, -20), (70, -20), (70, 20), (-44, 20), (-84, 0)]
    cap = [(86, -20), (100, -20), (100, 20), (86, 20)]
    return (lines(color, 18, closed(rotated(body, -45)), rotated([(-44, -20), (-44, 20)], -45))
            + lines(color, 18, closed(rotated(cap, -45))))


def trash_glyph(color):
    return lines(color, 18, [(56, 74), (200, 74)], [(104, 74), (108, 48), (148, 48), (152, 74)],
                 [(76, 100), (88, 216), (168, 216), (180, 100)], [(112, 118), (114, 190)], [(144, 118), (142, 190)])


def wallet_glyph(color, tile_color):
    return (fill(color, rect(48, 70, 196, 98, 10), rect(44, 86, 212, 200, 22))
            + fill(tile_color, rect(44, 92, 212, 104))
            + fill(YELLOW, rect(150, 120, 222, 168, 16)) + fill(color, circle(176, 144, 9)))


def bubbles_glyph(color, tile_color):
    big = fill(color, "ellipse 106,110 68,56 0,360", polygon([(74, 150), (64, 184), (104, 160)]))
    small = (["-fill", color, "-stroke", tile_color, "-strokewidth", "10", "-draw", "ellipse 160,158 56,46 0,360",
              "-stroke", "none"] + fill(color, polygon([(186, 190), (198, 214), (168, 198)])))
    dots = fill(tile_color, circle(138, 158, 8), circle(160, 158, 8), circle(182, 158, 8))
    return big + small + dots


def yen_glyph(color):
    return lines(color, 24, [(84, 64), (128, 126), (172, 64)], [(128, 126), (128, 200)],
                 [(88, 136), (168, 136)], [(88, 170), (168, 170)])


def phone_glyph(color, screen):
    return fill(color, rect(78, 32, 178, 224, 20)) + fill(screen, rect(92, 56, 164, 186, 6), circle(128, 204, 8))


def download_glyph(color):
    return lines(color, 16, [(128, 76), (128, 144)], [(102, 120), (128, 146), (154, 120)], [(104, 166), (152, 166)])


def chat_glyph(color, dots):
    return (fill(color, "ellipse 128,116 30,24 0,360", polygon([(112, 132), (106, 150), (130, 138)]))
            + fill(dots, circle(116, 116, 5), circle(128, 116, 5), circle(140, 116, 5)))


# ---------------------------------------------------------------- output

def render(commands, path, size, scale=None):
    """Draws on the square design canvas and scales to the final size times scale (SCALE unless told)."""
    size *= SCALE if scale is None else scale
    convert("-size", f"{CANVAS}x{CANVAS}", "xc:none", *commands, "-resize", f"{size}x{size}!", *PNG_OPTIONS, path)


def png(name, commands, size):
    render(commands, out(name), size)


def ico(name, commands, sizes):
    """Windows icon with one PNG-compressed entry per size, in the order given (ImageMagick 6 stores
    entries below 256 pixels as bitmaps, four times larger). A label that shows an icon file as a
    picture gets its first entry, so label pictures list their display size first."""
    with tempfile.TemporaryDirectory() as tmp:
        blobs = []
        # An entry is at most 256 pixels wide, so the twin of a 256-pixel entry is drawn the same.
        for size in dict.fromkeys(min(size, 256 // SCALE) for size in sizes):
            path = os.path.join(tmp, f"{size}.png")
            render(commands, path, size)
            with open(path, "rb") as f:
                blobs.append((size * SCALE, f.read()))
    offset = 6 + 16 * len(blobs)
    header = struct.pack("<HHH", 0, 1, len(blobs))
    for size, blob in blobs:
        header += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(out(name), "wb") as f:
        f.write(header + b"".join(blob for _, blob in blobs))


BUTTON_ICON_SIZES = (32, 16, 24, 48)


# ---------------------------------------------------------------- picture families

def main_icon():
    ico("main.ico", tile(BLUE) + printer_glyph(), (16, 24, 32, 48, 64, 256))


def info_icon():
    png("info.png", disc(BLUE) + fill("white", circle(128, 72, 18), rect(110, 104, 146, 204, 12)), 64)


def badnet_icon():
    png("badnet.png",
        lines(GREY, 22, arc_points(128, 184, 100, 225, 315), arc_points(128, 184, 56, 225, 315))
        + fill(GREY, circle(128, 184, 16))
        + fill(RED, circle(196, 196, 46)) + fill("white", rect(188, 166, 204, 206, 6), circle(196, 222, 9)),
        128)


def wait_animation():
    dots, frames, s = 12, [], SCALE
    with tempfile.TemporaryDirectory() as tmp:
        for frame in range(dots):
            args = ["-size", f"{96 * s}x{96 * s}", "xc:none"]
            for dot in range(dots):
                angle = math.radians(dot * 360 / dots)
                x, y = round(s * (48 + 32 * math.sin(angle))), round(s * (48 - 32 * math.cos(angle)))
                age = (frame - dot) % dots
                # GIF has no partial transparency: fade from the brand blue towards a pale blue instead.
                fade = min(1.0, age * 0.12)
                r, g, b = (round(a + (c - a) * fade) for a, c in zip((0, 168, 255), (214, 238, 251)))
                radius = (7 if age == 0 else 6) * s
                args += ["-fill", f"rgb({r},{g},{b})", "-draw", f"circle {x},{y} {x},{y + radius}"]
            path = os.path.join(tmp, f"{frame:02d}.png")
            convert(*args, path)
            frames.append(path)
        convert("-delay", "8", "-loop", "0", "-dispose", "previous", *frames, out("wait.gif"))


def navigation_icons():
    """The two flow buttons of the main window's column: blue tiles like the application icon."""
    # Self-service print: the application's printer, its page ticked off.
    ico("main_share.ico", tile(BLUE) + printer_glyph(text_lines=False)
        + lines(GREEN, 16, [(106, 190), (122, 206), (152, 174)]), BUTTON_ICON_SIZES)
    # Print and deliver: a house in the cloud.
    ico("main_cloud.ico", tile(BLUE) + cloud_glyph("white", 128, 124, 1.05)
        + house_glyph(BLUE, "white", 128, 140, 0.55) + fill(YELLOW, circle(196, 196, 14)), BUTTON_ICON_SIZES)


def round_buttons():
    """Round blue badges with a white glyph: the tool buttons at the foot of the column and the add buttons."""
    png("helper.png", disc(BLUE) + headset_glyph(), 34)
    ico("main_setting.ico", disc(BLUE) + gear_glyph("white", BLUE), BUTTON_ICON_SIZES)
    ico("main_logout.ico", disc(BLUE) + power_glyph(), BUTTON_ICON_SIZES)
    png("add.png", disc(BLUE) + plus_glyph(), 32)


def payment_icons():
    """Payment choices: tiles in the colour people associate with each way of paying, white glyphs."""
    ico("balance_icon.ico", tile(BLUE) + wallet_glyph("white", BLUE), BUTTON_ICON_SIZES)
    ico("wechatpay_icon.ico", tile(GREEN) + bubbles_glyph("white", GREEN), BUTTON_ICON_SIZES)
    ico("alipay_icon.ico", tile(PAY_BLUE) + yen_glyph("white"), BUTTON_ICON_SIZES)


def download_pictures():
    """The two pictures of the order confirmation that point to the mobile side of the service."""
    # Shown as 120-pixel pictures: the first entry is that size.
    ico("download_app.ico", tile(BLUE) + phone_glyph("white", BLUE) + download_glyph("white"), (120, 48, 32))
    ico("download_wx.ico", tile(GREEN) + phone_glyph("white", GREEN) + chat_glyph("white", GREEN)
        + lines("white", 12, [(108, 166), (148, 166)]), (120, 48, 32))


def line_icons():
    """Outline glyphs without a background, for borderless buttons and labels."""
    png("flush.png", refresh_glyph(BLUE), 32)
    png("arrow_down.png", chevron_glyph(SLATE), 15)
    png("modify.png", pencil_glyph(BLUE), 24)
    png("delete.png", trash_glyph(RED), 24)
    # The print-later button has a blue (or, while busy, grey) fill of its own, so its glyph is white.
    ico("laterprint.ico", clock_glyph("white"), BUTTON_ICON_SIZES)


def stepper_buttons():
    """The small minus and plus beside the copies field: a framed square like the unchosen option buttons."""
    frame = fill(BORDER, rect(8, 8, 247, 247, 40)) + fill("white", rect(24, 24, 231, 231, 28))
    png("c_sub.png", frame + minus_glyph(BLUE, 26, 54), 24)
    png("c_add.png", frame + plus_glyph(BLUE, 26, 54), 24)


def markers():
    """Small badges that mark a row: chosen (a check) and found on the local network (a house)."""
    png("selected.png", disc(BLUE) + check_glyph(), 20)
    png("device/device_selected.png", disc(BLUE) + check_glyph(), 24)
    png("localdevice.png", fill(YELLOW, rect(8, 8, 247, 247, 56)) + house_glyph(SLOT, YELLOW, 128, 134, 1.3), 20)


def status_lights():
    """Device state lights: a solid dot in a ring of the same colour, clear on white and grey rows alike."""
    for name, color in (("online", GREEN), ("busy", YELLOW), ("offline", GREY)):
        ring = lines(color, 26, closed(arc_points(128, 128, 102, 0, 360, 48)))
        png(f"device/device_status_{name}.png", ring + fill(color, circle(128, 128, 62)), 16)


# ---------------------------------------------------------------- device pictures

def part(x0, y0, x1, y1, color=CASE, radius=8):
    return fill(color, rect(x0, y0, x1, y1, radius))


def drawers(x0, x1, y0, y1, count):
    """Paper drawers stacked in a body, each with a dark handle slot."""
    commands, step = [], (y1 - y0) / count
    for i in range(count):
        top = y0 + i * step
        commands += part(x0, top + 3, x1, top + step - 3, PANEL, 5)
        commands += lines(SLOT, 7, [((x0 + x1) / 2 - 22, top + step / 2), ((x0 + x1) / 2 + 22, top + step / 2)])
    return commands


def sheet(*corners):
    """A sheet of paper given by its four corners; the outline keeps it visible where it sticks out
    into the white around a device."""
    return ["-fill", "white", "-stroke", EDGE, "-strokewidth", "5", "-draw", polygon(corners), "-stroke", "none"]


def flat_sheet(x0, y0, x1, y1):
    return sheet((x0, y0), (x1, y0), (x1, y1), (x0, y1))


def document_feeder(x0, x1, y):
    """The feeder that sits on the scanner, with an original in its input tray."""
    return (flat_sheet(x0 + 16, y - 38, x0 + (x1 - x0) * 0.62, y - 20) + part(x0, y - 26, x1, y, CASE, 8)
            + part(x0 + 10, y - 10, x1 - 30, y - 4, EDGE, 3))


def control_panel(x0, y0, x1, y1):
    return (part(x0, y0, x1, y1, SLOT, 5) + part(x0 + 6, y0 + 5, x0 + (x1 - x0) * 0.6, y1 - 5, BLUE, 3)
            + fill(YELLOW, circle(x1 - 10, (y0 + y1) / 2, 4)))


def output_slot(x0, x1, y):
    return part(x0, y, x1, y + 14, SLOT, 4) + part(x0 + 12, y + 5, x1 - 22, y + 11, "white", 2)


def colour_marks(x, y, width=10, height=10, step=14):
    """Four toner or ink marks, black, cyan, magenta and yellow: the picture of a colour device."""
    commands = []
    for i, color in enumerate((SLOT, BLUE, RED, YELLOW)):
        commands += part(x + i * step, y, x + i * step + width, y + height, color, 2)
    return commands


def outline(color=EDGE, width=5):
    """A thin rim around everything drawn so far, so that the light casings stand out from a grey row."""
    return ["(", "+clone", "-alpha", "extract", "-morphology", "Dilate", f"Disk:{width}", "-background", color,
            "-alpha", "shape", ")", "+swap", "-composite"]


def device_pictures():
    """The model pictures of the device list: flat front views in light greys, each with the blue screen
    and yellow light of its control panel."""
    pictures = {
        # Large colour copier on its paper cabinet.
        "device_xerox_7958.png":
            part(48, 78, 208, 232) + part(42, 66, 214, 84, PANEL, 6)
            + document_feeder(58, 178, 66) + control_panel(170, 44, 226, 64) + output_slot(62, 160, 102)
            + colour_marks(150, 130) + drawers(56, 200, 150, 226, 3),
        # Mono copier with a finisher on its right.
        "device_richo_5002.png":
            part(30, 84, 170, 232) + part(26, 72, 174, 90, PANEL, 6)
            + document_feeder(40, 150, 72) + control_panel(20, 50, 72, 68) + output_slot(42, 140, 108)
            + drawers(38, 162, 146, 226, 2)
            + part(170, 96, 222, 232, PANEL, 6) + flat_sheet(180, 116, 240, 128) + flat_sheet(180, 148, 236, 160),
        # Compact colour copier with the output tray inside the body, on a low stand.
        "device_km_226.png":
            part(66, 224, 78, 238, SLOT, 3) + part(178, 224, 190, 238, SLOT, 3)
            + part(60, 70, 196, 90, PANEL, 6) + document_feeder(72, 172, 70) + part(64, 90, 192, 226)
            + part(72, 92, 184, 112, SLOT, 4) + part(84, 102, 160, 110, "white", 2)
            + control_panel(150, 118, 196, 136) + colour_marks(74, 124) + drawers(70, 186, 150, 222, 2),
        # Desktop mono laser multifunction.
        "device_hp_427.png":
            part(52, 104, 204, 214) + part(48, 90, 208, 110, PANEL, 6)
            + document_feeder(66, 186, 90) + control_panel(56, 120, 118, 140) + output_slot(124, 196, 124)
            + drawers(60, 196, 168, 208, 1),
        # Desktop mono multifunction with a wide panel and a feeder tray that rises to the left.
        "device_brother_8530.png":
            part(60, 92, 196, 218) + part(56, 78, 200, 96, PANEL, 6)
            + sheet((70, 66), (128, 34), (150, 46), (92, 78))
            + part(64, 58, 184, 80, CASE, 6) + part(74, 70, 150, 76, EDGE, 3)
            + control_panel(66, 102, 190, 120) + output_slot(74, 180, 132) + drawers(68, 188, 160, 212, 1),
        # Wide, low colour ink-tank printer with its refill windows in front and paper in the rear feed.
        "device_canon_5080.png":
            sheet((92, 108), (108, 52), (168, 52), (152, 108))
            + part(80, 96, 176, 112, PANEL, 4) + part(30, 108, 226, 200) + part(30, 108, 226, 122, PANEL, 6)
            + fill(SLOT, rect(36, 132, 96, 186, 6))
            + colour_marks(42, 150, 9, 30, 13)
            + part(108, 150, 212, 166, SLOT, 4) + flat_sheet(118, 160, 202, 206)
            + control_panel(150, 128, 212, 144),
        # Any other model: the printer of the application icon in the device greys.
        "device_default.png": printer_glyph(PANEL, SLOT),
    }
    for name, commands in pictures.items():
        png(f"device/{name}", commands + outline(), 64)


# ---------------------------------------------------------------- banner

def banner():
    """The banner above the pages of the main window: the name and the three ways of printing on the
    left; phone, cloud printer and home on the right, joined by dotted paths. Drawn at twice its size."""
    width, height = 915, 140
    with tempfile.TemporaryDirectory() as tmp:
        def glyph(name, commands, size):
            path = os.path.join(tmp, name)
            render(commands, path, size, 1)  # the banner's own canvas is scaled at the end
            return path

        def label(font, size, words):
            return ["(", "-font", font, "-pointsize", str(size), f"label:{words}", ")"]

        def dot(width):
            return ["(", "-size", f"{width}x{width}", "xc:none", "-fill", YELLOW, "-draw",
                    circle(width / 2, width / 2, 5), ")"]

        def text(name, *pieces):
            """Pieces side by side, centred on one line; the CJK font has no Latin letters of its own."""
            path = os.path.join(tmp, name)
            convert("-respect-parentheses", "-background", "none", "-fill", "white", *[a for p in pieces for a in p],
                    "-gravity", "center", "+append", path)
            return path

        def dotted(x0, x1, lift):
            """Dots along a low arch from x0 to x1."""
            count = round((x1 - x0) / 24)
            return [a for i in range(count + 1) for a in (
                "-draw", circle(x0 + (x1 - x0) * i / count, 190 - lift * math.sin(math.pi * i / count), 5))]

        qr = [rect(100 + 20 * (i % 3), 76 + 20 * (i // 3), 114 + 20 * (i % 3), 90 + 20 * (i // 3), 2)
              for i in range(9) if i != 4]
        phone = glyph("phone.png", phone_glyph("white", BLUE) + fill("white", *qr), 200)
        cloud = glyph("cloud.png", cloud_glyph("white", 128, 118, 1.3), 300)
        printer = glyph("printer.png", printer_glyph(BLUE, "white"), 132)
        home = glyph("home.png", house_glyph("white", BLUE, 128, 120, 1.6), 180)
        title = text("title.png", label(LATIN_BOLD_FONT, 70, "Pavko "), label(CJK_FONT, 70, "智能云打印"))
        tagline = text("tagline.png", label(CJK_FONT, 32, "扫码登录"), dot(40), label(CJK_FONT, 32, "自助打印"),
                       dot(40), label(CJK_FONT, 32, "云印到家"))
        convert("-size", f"{width * 2}x{height * 2}", f"xc:{BLUE}",
                "-fill", "#12AFFF", "-draw", circle(1790, -10, 190), "-draw", circle(930, 300, 120),
                "-fill", "#26B7FF", "-draw", circle(40, 290, 110), "-draw", circle(1220, -40, 80),
                "-fill", YELLOW, "-draw", rect(96, 62, 108, 214, 6),
                "-fill", "#BFE9FF", *dotted(1134, 1244, 40), *dotted(1560, 1650, 40),
                title, "-geometry", "+136+56", "-composite",
                tagline, "-geometry", "+138+162", "-composite",
                phone, "-geometry", "+990+40", "-composite",
                cloud, "-geometry", "+1254-16", "-composite",
                printer, "-geometry", "+1338+80", "-composite",
                home, "-geometry", "+1618+44", "-composite",
                "-resize", f"{width * SCALE}x{height * SCALE}!", *PNG_OPTIONS, out("ads.png"))


if __name__ == "__main__":
    for SCALE in (1, 2):
        main_icon()
        info_icon()
        badnet_icon()
        wait_animation()
        navigation_icons()
        round_buttons()
        payment_icons()
        download_pictures()
        line_icons()
        stepper_buttons()
        markers()
        status_lights()
        device_pictures()
        banner()
