// This host's stand-in of the framework's PSAM result: what one native of the PSAM
// service answers.
package android.psam;

public class PSAMResult {
    public int resCode;
    public int resLength;
    public byte[] msgBytes;

    public PSAMResult() {}
}
