// Compiled against lumbo.d.ts (never run): the README's uses type-check, and
// misuses are refused.
import { createLumbo, LumboError, LumboNode, LumboStatus, type LumboInfo, type LumboPosition } from "../lumbo.js";

export async function pull(bytes: Uint8Array): Promise<number> {
    const lumbo = await createLumbo({ wasm: new URL("../lumbo.wasm", import.meta.url) });
    try {
        const player = lumbo.load(bytes.buffer, { rate: 48000 });
        const frames: number = player.render(new Int16Array(2 * 960)) + player.render(new Float32Array(256), new Float32Array(256));
        const position: LumboPosition | null = player.position;
        const info: LumboInfo = player.info;
        player.repeat = 0;
        player.volume = 0.5;
        player.mute(3, true);
        const moved: boolean = player.seek(48000n) && player.seekTime(1.5) && player.seekOrder(2, 0) && player.jump(1);
        player.free();
        // @ts-expect-error: render takes sample arrays
        player.render([0, 0]);
        return frames + (position?.frame ?? 0) + info.duration + Number(moved);
    } catch (error) {
        if (error instanceof LumboError && error.status === LumboStatus.BAD_SIGNATURE) return -1;
        throw error;
    }
}

export async function listen(context: AudioContext, bytes: ArrayBuffer): Promise<void> {
    const node = await LumboNode.create(context, bytes, { playing: true, repeat: -1 });
    node.connect(context.destination);
    node.addEventListener("row", (e) => console.log(e.detail?.row, node.heardPosition?.order));
    node.addEventListener("end", () => node.close());
    node.pause();
    node.play();
    const landed: boolean = await node.seekTime(30);
    node.volume = landed ? 1 : 0;
    // @ts-expect-error: the node is made by create()
    new LumboNode();
}
