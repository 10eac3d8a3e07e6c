// The channel strip: a mute toggle and a level meter per channel.
export class Mixer {
    #element;
    #onMute;
    #buttons = [];
    #shown = [];             // the levels drawn, falling back slowly as meters do

    constructor(element, onMute) {
        this.#element = element;
        this.#onMute = onMute;
    }

    show(channels) {
        this.#element.replaceChildren();
        this.#buttons = Array.from({ length: channels }, (_, channel) => {
            const button = document.createElement("button");
            button.type = "button";
            button.className = "channel";
            button.dataset.channel = channel;
            button.setAttribute("aria-pressed", "false");
            button.setAttribute("aria-label", `Mute channel ${channel + 1}`);
            button.innerHTML = `${channel + 1}<span class="track"></span><span class="meter"></span>`;
            button.addEventListener("click", () => this.toggle(channel));
            this.#element.append(button);
            return button;
        });
        this.#shown = new Array(channels).fill(0);
    }

    toggle(channel) {
        const button = this.#buttons[channel];
        if (!button) return;
        const muted = button.getAttribute("aria-pressed") !== "true";
        button.setAttribute("aria-pressed", String(muted));
        this.#onMute(channel, muted);
    }

    /** Levels 0..1 per channel; null lets the meters fall to rest. */
    draw(levels) {
        this.#buttons.forEach((button, channel) => {
            const level = Math.sqrt(levels?.[channel] ?? 0);      // closer to what the ear hears
            const shown = Math.max(level, this.#shown[channel] * 0.9);
            if (Math.abs(shown - this.#shown[channel]) > 0.002) button.style.setProperty("--level", shown.toFixed(3));
            this.#shown[channel] = shown;
        });
    }
}
