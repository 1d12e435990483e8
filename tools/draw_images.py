#!/usr/bin/env python3
"""Draws the images of ui/img with ImageMagick (apt-get install imagemagick).

One flat style for every picture: the brand blue, white glyphs, soft grey for inactive parts.
Run from the repository root; the images are committed, so the build never needs this script.
"""
import math
import os
import subprocess
import tempfile

BLUE = "#00A8FF"
GREY = "#B8C4CE"
RED = "#FF5A5F"
YELLOW = "#FFD23F"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ui", "img")


def convert(*args):
    subprocess.run(["/usr/bin/convert", *args], check=True)


def out(name):
    path = os.path.join(OUT, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def arc(cx, cy, radius, start, end):
    """Draw commands of a circular arc, angles in degrees clockwise from the right. Drawn as short
    lines with round joints: ImageMagick 6 closes long polylines and arcs with a chord."""
    steps = 24
    points = []
    for i in range(steps + 1):
        angle = math.radians(start + (end - start) * i / steps)
        points.append((cx + radius * math.cos(angle), cy + radius * math.sin(angle)))
    commands = []
    for (x1, y1), (x2, y2) in zip(points, points[1:]):
        commands += ["-draw", f"line {x1:.1f},{y1:.1f} {x2:.1f},{y2:.1f}"]
    return commands


def printer_glyph(paper="white", ink=BLUE):
    """Draw commands of the printer glyph on a 256 × 256 canvas."""
    return [
        "-fill", paper, "-draw", "roundrectangle 80,44 176,110 6,6",
        "-fill", paper, "-draw", "roundrectangle 36,96 220,186 22,22",
        "-fill", ink, "-draw", "roundrectangle 64,150 192,166 6,6",
        "-fill", YELLOW, "-draw", "circle 190,124 190,132",
        "-fill", paper, "-stroke", ink, "-strokewidth", "6", "-draw", "roundrectangle 76,158 180,222 6,6",
        "-draw", "line 96,182 160,182", "-draw", "line 96,202 140,202", "-stroke", "none",
    ]


def main_icon():
    with tempfile.TemporaryDirectory() as tmp:
        big = os.path.join(tmp, "256.png")
        convert("-size", "256x256", "xc:none", "-fill", BLUE, "-draw", "roundrectangle 8,8 247,247 56,56",
                *printer_glyph(), big)
        sizes = []
        for size in (16, 24, 32, 48, 64):
            path = os.path.join(tmp, f"{size}.png")
            convert(big, "-resize", f"{size}x{size}", path)
            sizes.append(path)
        convert(*sizes, big, out("main.ico"))


def info_icon():
    convert("-size", "128x128", "xc:none", "-fill", BLUE, "-draw", "circle 64,64 64,6", "-fill", "white",
            "-draw", "circle 64,36 64,27", "-draw", "roundrectangle 55,52 73,102 6,6", "-resize", "64x64",
            out("info.png"))


def badnet_icon():
    convert("-size", "256x256", "xc:none", "-fill", "none", "-stroke", GREY, "-strokewidth", "22",
            *arc(128, 184, 100, 225, 315), *arc(128, 184, 56, 225, 315),
            "-stroke", "none",
            "-fill", GREY, "-draw", "circle 128,184 128,200",
            "-fill", RED, "-draw", "circle 196,196 196,150", "-fill", "white",
            "-draw", "roundrectangle 188,166 204,206 6,6", "-draw", "circle 196,222 196,213",
            "-resize", "128x128", out("badnet.png"))


def wait_animation():
    dots, frames = 12, []
    with tempfile.TemporaryDirectory() as tmp:
        for frame in range(dots):
            args = ["-size", "96x96", "xc:none"]
            for dot in range(dots):
                angle = math.radians(dot * 360 / dots)
                x, y = round(48 + 32 * math.sin(angle)), round(48 - 32 * math.cos(angle))
                age = (frame - dot) % dots
                # GIF has no partial transparency: fade from the brand blue towards a pale blue instead.
                fade = min(1.0, age * 0.12)
                r, g, b = (round(a + (c - a) * fade) for a, c in zip((0, 168, 255), (214, 238, 251)))
                radius = 7 if age == 0 else 6
                args += ["-fill", f"rgb({r},{g},{b})", "-draw", f"circle {x},{y} {x},{y + radius}"]
            path = os.path.join(tmp, f"{frame:02d}.png")
            convert(*args, path)
            frames.append(path)
        convert("-delay", "8", "-loop", "0", "-dispose", "previous", *frames, out("wait.gif"))


if __name__ == "__main__":
    main_icon()
    info_icon()
    badnet_icon()
    wait_animation()
