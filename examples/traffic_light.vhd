-- Traffic light controller: a Moore machine with timed phases.
-- The pedestrian request is latched until the next red phase.
library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity traffic_light is
    generic (
        CLOCKS_PER_SECOND : natural := 50_000_000;
        GREEN_SECONDS     : natural := 20;
        AMBER_SECONDS     : natural := 3;
        RED_SECONDS       : natural := 15
    );
    port (
        clk, reset_n : in  std_logic;
        walk_request : in  std_logic;
        \Light Red\, \Light Amber\, \Light Green\ : out std_logic;
        walk_signal  : out std_logic
    );
end entity traffic_light;

architecture behaviour of traffic_light is
    type phase_t is (GREEN, AMBER, RED, RED_AMBER);
    signal phase     : phase_t := RED;
    signal seconds   : natural range 0 to 255 := 0;
    signal prescaler : natural range 0 to CLOCKS_PER_SECOND - 1 := 0;
    signal requested : std_logic := '0';
    constant BANNER  : string := "TL-1 rev. B";
begin
    -- One pulse a second drives the phase timer.
    timer : process (clk, reset_n)
    begin
        if reset_n = '0' then
            prescaler <= 0;
            seconds   <= 0;
        elsif rising_edge(clk) then
            if prescaler = CLOCKS_PER_SECOND - 1 then
                prescaler <= 0;
                seconds   <= seconds + 1;
            else
                prescaler <= prescaler + 1;
            end if;
            if phase'event then
                seconds <= 0;
            end if;
        end if;
    end process timer;

    sequence : process (clk)
    begin
        if rising_edge(clk) then
            if walk_request = '1' then requested <= '1'; end if;
            case phase is
                when GREEN     => if seconds >= GREEN_SECONDS then phase <= AMBER; end if;
                when AMBER     => if seconds >= AMBER_SECONDS then phase <= RED; end if;
                when RED       => requested <= '0';
                                  if seconds >= RED_SECONDS then phase <= RED_AMBER; end if;
                when RED_AMBER => if seconds >= 2 then phase <= GREEN; end if;
            end case;
        end if;
    end process sequence;

    \Light Red\   <= '1' when phase = RED or phase = RED_AMBER else '0';
    \Light Amber\ <= '1' when phase = AMBER or phase = RED_AMBER else '0';
    \Light Green\ <= '1' when phase = GREEN else '0';
    walk_signal   <= '1' when phase = RED and requested = '1' else '0';
end architecture behaviour;
