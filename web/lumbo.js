// lumbo: exact, click-free XM playback, in the browser and in Node.
//
//   import { createLumbo, LumboNode, LumboError } from "lumbo";
//   const lumbo = await createLumbo();                  // lumbo.wasm beside this file
//   const player = lumbo.load(bytes, { rate: 48000 });  // throws LumboError with the reason
//   player.render(new Float32Array(2 * 4800));          // left, right, left, ...
//   const node = await LumboNode.create(audioContext, bytes, { playing: true });
export { createLumbo } from "./load.js";
export { Lumbo, Player, LumboError, LumboStatus } from "./player.js";
export { LumboNode } from "./node.js";
